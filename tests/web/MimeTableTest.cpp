#include "web/MimeTable.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace kestrelon;

TEST(MimeTable, BuiltInRowsThenRegistrations)
{
    kestrelon::test::TempDir dir;
    std::string registrations = dir.write("mime.types", "# comment\n"
                                                        "image/png\t\tpng\n"
                                                        "text/javascript   js mjs  # trailing comment\n"
                                                        "application/x-kestrelon KST\n"
                                                        "\n");
    MimeTable table(registrations);
    // Built-in rows stand where nothing replaces them.
    EXPECT_EQ(table.GetMIMEType("/srv/www/a.htm"), "text/html");
    EXPECT_EQ(table.GetMIMEType("photo.JPG"), "image/jpeg");
    EXPECT_EQ(table.GetMIMEType("tune.mid"), "midi/mid");
    EXPECT_EQ(table.GetMIMEType("page.shtml"), "server-parsed-html");
    // A registration replaces a row of the same extension and adds new ones.
    EXPECT_EQ(table.GetMIMEType("x.png"), "image/png");
    EXPECT_EQ(table.GetMIMEType("app.js"), "text/javascript");
    EXPECT_EQ(table.GetMIMEType("data.kst"), "application/x-kestrelon");
    // No extension, an unknown one, or a dot only in a folder name.
    EXPECT_EQ(table.GetMIMEType("/srv/www/README"), "application/octet-stream");
    EXPECT_EQ(table.GetMIMEType("x.unknownext"), "application/octet-stream");
    EXPECT_EQ(table.GetMIMEType("/srv/www.d/README"), "application/octet-stream");
}

TEST(MimeTable, WithoutRegistrationsJsHasNoRow)
{
    MimeTable table("/nonexistent/mime.types");
    EXPECT_EQ(table.GetMIMEType("app.js"), "application/octet-stream");
    EXPECT_EQ(table.GetMIMEType("x.png"), "image/x-png");
    EXPECT_EQ(table.size(), 134u);
}
