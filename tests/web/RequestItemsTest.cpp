#include "web/RequestItems.h"
#include "support/RawHttpClient.h"

#include <gtest/gtest.h>

using namespace kestrelon;

TEST(RequestItems, DocumentDecoding)
{
    EXPECT_EQ(decodeUrlText("/pics/a%20b.jpg"), "/pics/a b.jpg");
    EXPECT_EQ(decodeUrlText("/pics/a+b.jpg"), "/pics/a b.jpg");
    EXPECT_EQ(decodeUrlText("/%41%62%2f"), "/Ab/");
    EXPECT_EQ(decodeUrlText("/%e2%82%ac"), "/\xe2\x82\xac");
    // An escape for byte 0, or one with bad or missing digits, is dropped.
    EXPECT_EQ(decodeUrlText("/a%00b"), "/ab");
    EXPECT_EQ(decodeUrlText("/a%zzb"), "/ab");
    EXPECT_EQ(decodeUrlText("/a%4"), "/a");
    EXPECT_EQ(decodeUrlText("/a%"), "/a");
    EXPECT_EQ(decodeUrlText("/%2"), "/");
    EXPECT_EQ(decodeUrlText("%%41"), "1");
    EXPECT_EQ(decodeUrlText("100%25"), "100%");
}

TEST(RequestItems, TargetQueryAndFormFields)
{
    RawRequest raw;
    raw.method = "get";
    raw.target = "/cgi/mailform.html?name=J+Doe&x=%41";
    raw.clientAddress = "127.0.0.1";
    raw.clientPort = 5000;
    RequestItems items = makeRequestItems(raw);
    EXPECT_EQ(items.command, "GET");
    EXPECT_EQ(items.document, "/cgi/mailform.html");
    EXPECT_EQ(items.query, "name=J+Doe&x=%41"); // the query stays raw
    EXPECT_EQ(items.formFields, (std::vector<std::string>{"name=J Doe", "x=A"}));
    EXPECT_EQ(items.clientAddress, "127.0.0.1");
    EXPECT_EQ(items.clientPort, 5000);

    // An urlencoded body comes first; the query follows after CR LF, joining the last body
    // field and the first query field into one string.
    raw.method = "POST";
    raw.contentType = "Application/X-WWW-Form-Urlencoded; charset=UTF-8";
    raw.body = "a=1&b=two%26three";
    raw.target = "/form?c=3&d=4";
    items = makeRequestItems(raw);
    EXPECT_EQ(items.formFields, (std::vector<std::string>{"a=1", "b=two&three\r\nc=3", "d=4"}));

    // Another content type: the query alone.
    raw.contentType = "multipart/form-data; boundary=x";
    items = makeRequestItems(raw);
    EXPECT_EQ(items.formFields, (std::vector<std::string>{"c=3", "d=4"}));
    raw.target = "/form";
    EXPECT_TRUE(makeRequestItems(raw).formFields.empty());

    // Absolute targets lose scheme and host; a path always starts with "/".
    raw.target = "http://example.test/dir/a%20b?q";
    items = makeRequestItems(raw);
    EXPECT_EQ(items.document, "/dir/a b");
    EXPECT_EQ(items.query, "q");
    raw.target = "http://example.test";
    EXPECT_EQ(makeRequestItems(raw).document, "/");
    raw.target = "*";
    EXPECT_EQ(makeRequestItems(raw).document, "/*");
    raw.target = "/a?";
    items = makeRequestItems(raw);
    EXPECT_EQ(items.document, "/a");
    EXPECT_EQ(items.query, "");
}

TEST(RequestItems, BasicAuthorization)
{
    std::string user, pass;
    parseBasicAuthorization("Basic " + kestrelon::test::base64("ann:se:cret"), user, pass);
    EXPECT_EQ(user, "ann");
    EXPECT_EQ(pass, "se:cret"); // only the first colon separates
    parseBasicAuthorization("basic " + kestrelon::test::base64("bob"), user, pass);
    EXPECT_EQ(user, "bob");
    EXPECT_EQ(pass, "");
    parseBasicAuthorization("Bearer abc", user, pass);
    EXPECT_EQ(user, "");
    parseBasicAuthorization("Basic !!!", user, pass);
    EXPECT_EQ(user, "");
    parseBasicAuthorization("", user, pass);
    EXPECT_EQ(user + pass, "");
}
