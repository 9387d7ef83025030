// Which files the server hands out: containment under the root, odd names, types, sizes.
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include "core/SettingsFile.h"
#include "web/FileResolution.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// The web root is <tmp>/www; beside it <tmp>/www2 (same prefix) and <tmp>/outside.
class FileServing : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        top = f.root.path();
        root = f.root.mkdir("www");
        f.root.write("www/index.html", "INDEX");
        f.root.write("www/sub/index.html", "SUBINDEX");
        f.root.write("www/sub/page.html", "SUBPAGE");
        f.root.write("www2/secret.txt", "SIBLING-SECRET");
        f.root.write("www2/index.html", "SIBLING-INDEX");
        f.root.write("outside/secret.txt", "OUTSIDE-SECRET");
        f.root.write("outside/index.html", "OUTSIDE-INDEX");
        fs::create_directory_symlink("../outside", root + "/link");
        fs::create_symlink("../outside/secret.txt", root + "/linkfile");
        fs::create_directory_symlink(top + "/outside", root + "/abslink");
        fs::create_directory_symlink(top + "/www2", root + "/siblink");
        // Links that stay inside the root are fine, relative or absolute.
        fs::create_directory_symlink("sub", root + "/rel");
        fs::create_symlink(root + "/sub/page.html", root + "/absinside.html");
        f.change([&](Settings& s) { s.WebServe.Root = root; });
        ASSERT_TRUE(f.start());
    }

    std::optional<HttpResponse> raw(const std::string& target)
    {
        RawConnection c(f.port());
        c.send("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        return c.readResponse();
    }

    ServerFixture f;
    std::string top;
    std::string root;
};

} // namespace

TEST_F(FileServing, NothingOutsideTheRootIsServed)
{
    const char* targets[] = {
        "/../www2/secret.txt",
        "/../www2/",
        "/../www2",
        "/..%2fwww2/secret.txt",
        "/%2e%2e/www2/secret.txt",
        "/%2E%2E%2Fwww2%2Fsecret.txt",
        "/.%2e/www2/secret.txt",
        "/./../www2/secret.txt",
        "/sub/../../www2/secret.txt",
        "//../www2/secret.txt",
        "/sub/%2e%2e/%2e%2e/www2/secret.txt",
        "/..%00/www2/secret.txt",
        "/%00../www2/secret.txt",
        "/..\\www2\\secret.txt",
        "/..%5cwww2%5csecret.txt",
        "/link/secret.txt",
        "/link/",
        "/link",
        "/linkfile",
        "/abslink/secret.txt",
        "/abslink",
        "/siblink/secret.txt",
        "/sub/../link/secret.txt",
        "/link/../../www2/secret.txt",
        "/rel/../../outside/secret.txt",
        "/../outside/secret.txt",
        "/../../../../../../../../etc/passwd",
        "/%2e%2e/%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
        "/....//www2/secret.txt",
        "/..;/www2/secret.txt",
        "http://x/../www2/secret.txt",
        "/../www2/%73ecret.txt",
    };
    for (const char* target : targets) {
        auto r = raw(target);
        if (!r) {
            continue; // refused before any reply: nothing leaked either
        }
        EXPECT_TRUE(r->status == 403 || r->status == 404 || r->status == 400)
            << target << " -> " << r->status;
        EXPECT_EQ(r->body.find("SECRET"), std::string::npos) << target;
        EXPECT_EQ(r->body.find("SIBLING"), std::string::npos) << target;
        EXPECT_EQ(r->body.find("OUTSIDE"), std::string::npos) << target;
        EXPECT_EQ(r->body.find("root:"), std::string::npos) << target;
    }
    // An existing file outside is refused with the access-denied page, a missing one is 404.
    EXPECT_EQ(raw("/../www2/secret.txt")->status, 403);
    EXPECT_EQ(raw("/link/secret.txt")->status, 403);
    EXPECT_EQ(raw("/../www2/nothing.txt")->status, 404);
    EXPECT_EQ(f.countMessages("Serving file"), 0u);
}

TEST_F(FileServing, OddButLegalNamesAreServed)
{
    struct Case {
        const char* file;
        const char* target;
    };
    const Case cases[] = {
        {"a b.txt", "/a%20b.txt"},
        {"a b.txt", "/a+b.txt"},
        {"100%.txt", "/100%25.txt"},
        {"a+b.txt", "/a%2Bb.txt"},
        {"..hidden", "/..hidden"},
        {"dots...txt", "/dots...txt"},
        {"x..y/file.txt", "/x..y/file.txt"},
        {"\xc3\xbcnic\xc3\xb6"
         "de.txt",
         "/%C3%BCnic%C3%B6de.txt"},
        {"semi;colon.txt", "/semi;colon.txt"},
        {"quote'name.txt", "/quote'name.txt"},
        {"#hash.txt", "/%23hash.txt"},
        {"(paren).txt", "/(paren).txt"},
        {"Upper.TXT", "/Upper.TXT"},
        {"deep/er/still/file.txt", "/deep//er/./still/../still/file.txt"},
        {"back\\slash.txt", "/back%5Cslash.txt"},
    };
    for (const Case& c : cases) {
        f.root.write(std::string("www/") + c.file, std::string("content of ") + c.file);
    }
    for (const Case& c : cases) {
        auto r = raw(c.target);
        ASSERT_TRUE(r) << c.target;
        EXPECT_EQ(r->status, 200) << c.target;
        EXPECT_EQ(r->body, std::string("content of ") + c.file) << c.target;
    }
    // Links inside the root, a folder's default file through one, and the root itself.
    EXPECT_EQ(raw("/rel/page.html")->body, "SUBPAGE");
    EXPECT_EQ(raw("/rel")->body, "SUBINDEX");
    EXPECT_EQ(raw("/absinside.html")->body, "SUBPAGE");
    EXPECT_EQ(raw("/sub/")->body, "SUBINDEX");
    EXPECT_EQ(raw("/")->body, "INDEX");
    EXPECT_EQ(raw("/sub/..")->body, "INDEX");
    // A name differing only in case is another file on Linux.
    EXPECT_EQ(raw("/upper.txt")->status, 404);
}

TEST(SettingsFileServing, TheSettingsFileIsNeverServed)
{
    // By default the web root is the folder of the settings file, which holds the passwords.
    ServerFixture f;
    f.root.write("index.html", "INDEX");
    ASSERT_TRUE(f.start());
    for (const char* target : {"/kestrelon.ini", "/KESTRELON.INI/../kestrelon.ini", "/./kestrelon.ini"}) {
        auto r = f.get(target);
        ASSERT_TRUE(r) << target;
        EXPECT_EQ(r->status, 403) << target;
        EXPECT_EQ(r->body.find("RevDNS"), std::string::npos);
    }
    // Also through a link, and after a save replaced the file.
    std::filesystem::create_symlink(f.root.path() + "/kestrelon.ini", f.root.path() + "/copy.txt");
    EXPECT_EQ(f.get("/copy.txt")->status, 403);
    // Right after a save the direct path is refused, and links are once the server is told.
    ASSERT_EQ(SettingsFile(f.root.path() + "/kestrelon.ini").save(*f.settings.snapshot()).message, "");
    EXPECT_EQ(f.get("/kestrelon.ini")->status, 403);
    f.server->setSettingsFile(f.root.path() + "/kestrelon.ini");
    EXPECT_EQ(f.get("/copy.txt")->status, 403);
    f.advanceClock(std::chrono::milliseconds(1100)); // what was looked up on disk is looked up again
    EXPECT_EQ(f.get("/kestrelon.ini")->status, 403);
    EXPECT_EQ(f.get("/copy.txt")->status, 403);
    EXPECT_EQ(f.get("/index.html")->status, 200);
    // Nor the temporary copy a save writes beside it (a crash may leave one behind).
    f.root.write(".kestrelon.ini.Ab12Cd", "[WebServe]\nPass=secret\n");
    EXPECT_EQ(f.get("/.kestrelon.ini.Ab12Cd")->status, 403);
    EXPECT_EQ(f.get("/sub/../.kestrelon.ini.Ab12Cd")->status, 403);
}

TEST_F(FileServing, SpecialFilesAreNotServed)
{
    // A FIFO must not hang the server thread; a socket or device is not a file to serve.
    ASSERT_EQ(::mkfifo((root + "/pipe.html").c_str(), 0644), 0);
    auto r = raw("/pipe.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    std::filesystem::create_symlink("/dev/zero", root + "/zero");
    r = raw("/zero");
    ASSERT_TRUE(r);
    EXPECT_NE(r->status, 200);
    EXPECT_EQ(raw("/index.html")->status, 200);
}

TEST_F(FileServing, TypesAndLargeFiles)
{
    f.root.write("www/pic.png", "PNG");
    f.root.write("www/app.js", "JS");
    f.root.write("www/photo.JPG", "JPG");
    f.root.write("www/data.unknownext", "X");
    f.root.write("www/noext", "X");
    EXPECT_EQ(raw("/pic.png")->header("content-type"), "image/png");
    EXPECT_EQ(raw("/app.js")->header("content-type"), "text/javascript");
    EXPECT_EQ(raw("/photo.JPG")->header("content-type"), "image/jpeg");
    EXPECT_EQ(raw("/data.unknownext")->header("content-type"), "application/octet-stream");
    EXPECT_EQ(raw("/noext")->header("content-type"), "application/octet-stream");
    EXPECT_EQ(raw("/index.html")->header("content-type"), "text/html");

    std::string big;
    big.reserve(24 << 20);
    for (int i = 0; big.size() < (24u << 20); ++i) {
        big += std::to_string(i) + "\n";
    }
    f.root.write("www/big.txt", big);
    auto r = raw("/big.txt");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->header("content-length"), std::to_string(big.size()));
    EXPECT_TRUE(r->body == big);
}

TEST_F(FileServing, FilesHeldInMemoryAreServedFreshOnceChanged)
{
    // Small files written a while ago are served from memory after their first request.
    const std::string page = root + "/page.html";
    const timespec past = {::time(nullptr) - 100, 0};
    auto age = [&](const std::string& path) {
        const timespec times[2] = {past, past};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    auto body = [&](const std::string& target) {
        auto r = raw(target);
        return r && r->header("content-length") == std::to_string(r->body.size()) ? r->body : "(bad reply)";
    };
    f.root.write("www/page.html", "AAAA");
    age(page);
    EXPECT_EQ(body("/page.html"), "AAAA");
    EXPECT_EQ(body("/page.html"), "AAAA");
    // Rewritten in place at the same size.
    f.root.write("www/page.html", "BBBB");
    EXPECT_EQ(body("/page.html"), "BBBB");
    // Rewritten again with its old time stamp put back: the change time still tells.
    age(page);
    EXPECT_EQ(body("/page.html"), "BBBB");
    f.root.write("www/page.html", "CCCC");
    age(page);
    EXPECT_EQ(body("/page.html"), "CCCC");
    // Replaced by another file of the same size and times.
    age(f.root.write("www/page.new", "DDDD"));
    ASSERT_EQ(::rename((root + "/page.new").c_str(), page.c_str()), 0);
    EXPECT_EQ(body("/page.html"), "DDDD");
    // Grown beyond what memory holds, and shrunk back.
    const std::string large(200 * 1024, 'L');
    f.root.write("www/page.html", large);
    age(page);
    EXPECT_TRUE(body("/page.html") == large);
    f.root.write("www/page.html", "EE");
    age(page);
    EXPECT_EQ(body("/page.html"), "EE");
    EXPECT_TRUE(
        waitFor([&] { return f.countMessages("Serving file " + page + " (2 bytes / 2 bytes sent)") == 1; }));
    // A kept file is known again by its path: a folder on the way swapped for a link out of the
    // root, or the file moved out behind a link, is refused, not the kept contents served.
    namespace fs = std::filesystem;
    f.root.write("www/kept/a.html", "KEPT");
    age(root + "/kept/a.html");
    EXPECT_EQ(body("/kept/a.html"), "KEPT");
    EXPECT_EQ(body("/kept/a.html"), "KEPT");
    f.root.write("outside/a.html", "KEPT");
    age(top + "/outside/a.html");
    fs::rename(root + "/kept", top + "/kept.old");
    fs::create_directory_symlink(top + "/outside", root + "/kept");
    EXPECT_EQ(raw("/kept/a.html")->status, 403);
    // The kept file itself, reached through a link that stays inside, is the same file.
    fs::remove(root + "/kept");
    fs::create_directory_symlink(top + "/kept.old", root + "/kept");
    EXPECT_EQ(raw("/kept/a.html")->status, 403);
    f.root.write("www/b.html", "KEPT-B");
    age(root + "/b.html");
    EXPECT_EQ(body("/b.html"), "KEPT-B");
    EXPECT_EQ(body("/b.html"), "KEPT-B");
    fs::rename(root + "/b.html", top + "/b.html");
    fs::create_symlink(top + "/b.html", root + "/b.html");
    EXPECT_EQ(raw("/b.html")->status, 403);
    fs::remove(root + "/kept");
    fs::create_directory_symlink("sub", root + "/kept");
    f.root.write("www/sub/a.html", "SUB-A");
    EXPECT_EQ(body("/kept/a.html"), "SUB-A");
}

TEST(FileResolution, AFolderSwappedForALinkMeanwhileNeverLeadsOut)
{
    // An absolute link inside the root is not followed by the kernel's beneath-the-root open, so
    // these requests take the careful path; a folder on their way keeps turning into a link out.
    TempDir top;
    const std::string root = top.mkdir("www");
    std::string chain;
    for (int i = 0; i < 30; ++i) {
        chain += "/x";
    }
    top.write("www/d" + chain + "/f.txt", "INSIDE");
    top.write("outside/d" + chain + "/f.txt", "OUTSIDE");
    std::filesystem::create_directory_symlink(root, root + "/abs");
    const std::string document = "/abs/d" + chain + "/f.txt";
    ASSERT_EQ(resolveFile(root, document, "index.html").kind, ResolvedFile::Kind::Found);

    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const std::string folder = root + "/d", aside = root + "/d.real", out = top.path() + "/outside/d";
        while (!stop) {
            ::rename(folder.c_str(), aside.c_str());
            ::symlink(out.c_str(), folder.c_str());
            ::unlink(folder.c_str());
            ::rename(aside.c_str(), folder.c_str());
        }
    });
    std::atomic<int> inside{0}, escaped{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            // On a loaded machine the swapper may win many times in a row: go on until the link
            // has worked at least once (bounded).
            for (int i = 0; i < 6000 || (inside == 0 && i < 600000); ++i) {
                ResolvedFile file = resolveFile(root, document, "index.html");
                if (file.kind != ResolvedFile::Kind::Found) {
                    continue;
                }
                char text[16] = {};
                ssize_t n = ::pread(file.file.get(), text, sizeof text - 1, 0);
                (std::string(text, n > 0 ? static_cast<size_t>(n) : 0) == "INSIDE" ? inside : escaped)++;
            }
        });
    }
    for (auto& r : readers) {
        r.join();
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(escaped.load(), 0);
    EXPECT_GT(inside.load(), 0); // the link inside the root still works between the swaps
}
