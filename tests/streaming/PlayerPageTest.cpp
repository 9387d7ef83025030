// Which requests of the viewer port get the player page, and the page's title.
#include "streaming/PlayerPage.h"

#include <gtest/gtest.h>

using namespace kestrelon;

namespace {

TEST(PlayerPageTest, BrowsersAskingForSlashGetThePageEveryoneElseTheStream)
{
    const char* chromium = "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,*/*;q=0.8";
    EXPECT_EQ(classifyViewerRequest("/", chromium), ViewerRequest::PlayerPage);
    EXPECT_EQ(classifyViewerRequest("/?refresh=1", "application/xhtml+xml"), ViewerRequest::PlayerPage);
    EXPECT_EQ(classifyViewerRequest("/", " TEXT/HTML ; level=1"), ViewerRequest::PlayerPage);
    // Players and the page's own fetch.
    EXPECT_EQ(classifyViewerRequest("/", "*/*"), ViewerRequest::Stream);
    EXPECT_EQ(classifyViewerRequest("/", ""), ViewerRequest::Stream);
    EXPECT_EQ(classifyViewerRequest("/", "video/webm"), ViewerRequest::Stream);
    // HTML refused outright, or asked for anywhere but "/".
    EXPECT_EQ(classifyViewerRequest("/", "text/html;q=0, */*"), ViewerRequest::Stream);
    EXPECT_EQ(classifyViewerRequest("/", "text/htmlx"), ViewerRequest::Stream);
    EXPECT_EQ(classifyViewerRequest("/live", chromium), ViewerRequest::Stream);
}

TEST(PlayerPageTest, TheTitleIsShownAsText)
{
    const std::string page = playerPageHtml("<b>Spike</b> & \"co\"");
    EXPECT_NE(page.find("<title>&lt;b&gt;Spike&lt;/b&gt; &amp; &quot;co&quot;</title>"), std::string::npos);
    EXPECT_NE(playerPageHtml("").find("<title>Kestrelon</title>"), std::string::npos);
}

} // namespace
