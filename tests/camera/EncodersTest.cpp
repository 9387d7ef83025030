#include "camera/CameraTestSupport.h"
#include "camera/SnapshotFile.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstdio> // jpeglib.h needs FILE first
#include <gif_lib.h>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// One frame of GStreamer's test pattern, copied row by row with the plane's stride (350 BGR
// pixels are 1052 bytes a row there).
Image testPatternFrame(int width, int height)
{
    gst_init(nullptr, nullptr);
    const std::string description =
        "videotestsrc num-buffers=1 pattern=smpte100 ! video/x-raw,format=BGR,width=" +
        std::to_string(width) + ",height=" + std::to_string(height) + " ! appsink name=sink";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline) {
        return {};
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Image image;
    if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstVideoInfo info;
        GstVideoFrame frame;
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            image = Image(width, height);
            const auto* data = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
            for (int y = 0; y < height; ++y) {
                std::memcpy(image.row(y), data + size_t(y) * size_t(stride), image.stride());
            }
            gst_video_frame_unmap(&frame);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return image;
}

// The JPEG's size as libjpeg decodes it, every scanline read; (0, 0) when it cannot.
QSize jpegSize(const std::string& bytes)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    QSize size;
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK && jpeg_start_decompress(&cinfo)) {
        std::vector<unsigned char> row(cinfo.output_width * size_t(cinfo.output_components));
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[] = {row.data()};
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        size = QSize(int(cinfo.output_width), int(cinfo.output_height));
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return size;
}

// The GIF's screen and single frame size as giflib reads the whole file.
QSize gifSize(const std::string& path)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) {
        return {};
    }
    QSize size;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1 &&
        gif->SavedImages[0].ImageDesc.Width == gif->SWidth) {
        size = QSize(gif->SWidth, gif->SHeight);
    }
    DGifCloseFile(gif, &error);
    return size;
}

} // namespace

TEST(Encoders, SnapshotsOfTheTestPatternDecodeWithTheLibraries)
{
    PassFixture f;
    const Image frame = testPatternFrame(350, 262);
    ASSERT_FALSE(frame.empty());
    // The bars of the pattern: white top left, then yellow.
    EXPECT_EQ(frame.pixel(10, 10)[2], 255);
    EXPECT_EQ(frame.pixel(60, 10)[0], 0);
    f.camera.frames.set(frame);
    for (const char* name : {"s.jpg", "s.gif", "s.bmp"}) {
        f.setCamera([&](CameraSettings& c) { c.File = f.file(name); });
        ASSERT_EQ(f.pass.btnSnapNowClick(), PassOutcome::Saved) << name;
    }
    EXPECT_EQ(jpegSize(readFile(f.file("s.jpg"))), QSize(352, 264));
    EXPECT_EQ(gifSize(f.file("s.gif")), QSize(352, 264));
    // The bitmap holds the window's picture exactly.
    EXPECT_EQ(Image::fromQImage(QImage(QString::fromStdString(f.file("s.bmp")))), f.pass.image());

    // Rows whose length is not a multiple of four are padded in the bitmap and read back whole;
    // a picture of few colours keeps them through the GIF palette.
    for (SnapshotFormat format : {SnapshotFormat::Bmp, SnapshotFormat::Gif}) {
        std::string bytes, error;
        ASSERT_TRUE(encodeSnapshot(frame, format, 60, bytes, error)) << error;
        const QImage decoded =
            QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), int(bytes.size()));
        EXPECT_EQ(decoded.size(), QSize(350, 262));
        if (format == SnapshotFormat::Bmp) {
            EXPECT_EQ(Image::fromQImage(decoded), frame);
        } else {
            EXPECT_EQ(decoded.pixel(10, 10) & 0xFFFFFF, 0xFFFFFFu);
            EXPECT_EQ(decoded.pixel(60, 10) & 0xFFFFFF, 0xFFFF00u);
        }
    }
}
