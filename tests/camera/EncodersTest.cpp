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

// One frame of GStreamer's colour bars, copied row by row with the plane's stride (350 BGR
// pixels are 1052 bytes a row there).
Image testPatternFrame(int width, int height)
{
    gst_init(nullptr, nullptr);
    const std::string description =
        "videotestsrc num-buffers=1 pattern=smpte100 ! video/x-raw,format=BGR,width=" +
        std::to_string(width) + ",height=" + std::to_string(height) + " ! appsink name=sink";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Image image;
    if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 10 * GST_SECOND)) {
        GstVideoInfo info;
        GstVideoFrame frame;
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            image = Image(width, height);
            for (int y = 0; y < height; ++y) {
                std::memcpy(image.row(y),
                            static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)) +
                                size_t(y) * size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)),
                            image.stride());
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

// The size libjpeg decodes, every scanline read.
QSize jpegSize(const std::string& bytes)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    std::vector<unsigned char> row(cinfo.output_width * size_t(cinfo.output_components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
    }
    const QSize size(int(cinfo.output_width), int(cinfo.output_height));
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return size;
}

// The size of the GIF's screen and of its one frame, as giflib reads the whole file.
std::pair<QSize, QSize> gifSizes(const std::string& path)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount != 1) {
        return {};
    }
    const GifImageDesc& desc = gif->SavedImages[0].ImageDesc;
    std::pair sizes{QSize(gif->SWidth, gif->SHeight), QSize(desc.Width, desc.Height)};
    DGifCloseFile(gif, &error);
    return sizes;
}

} // namespace

TEST(Encoders, SnapshotsOfTheTestPatternDecodeWithTheLibraries)
{
    PassFixture f;
    const Image frame = testPatternFrame(350, 262);
    ASSERT_FALSE(frame.empty());
    EXPECT_EQ(frame.pixel(10, 10)[2], 255); // white bar
    f.camera.frames.set(frame);
    for (const char* name : {"s.jpg", "s.gif", "s.bmp"}) {
        f.setCamera([&](CameraSettings& c) { c.File = f.file(name); });
        ASSERT_EQ(f.pass.btnSnapNowClick(), PassOutcome::Saved) << name;
    }
    EXPECT_EQ(jpegSize(readFile(f.file("s.jpg"))), QSize(352, 264));
    EXPECT_EQ(gifSizes(f.file("s.gif")), std::pair(QSize(352, 264), QSize(352, 264)));
    EXPECT_EQ(Image::fromQImage(QImage(QString::fromStdString(f.file("s.bmp")))), f.pass.image());

    // Bitmap rows of 350 pixels are padded to a multiple of four bytes and read back whole; the
    // bars' few colours come through the GIF palette exactly.
    for (SnapshotFormat format : {SnapshotFormat::Bmp, SnapshotFormat::Gif}) {
        std::string bytes, error;
        ASSERT_TRUE(encodeSnapshot(frame, format, 60, bytes, error)) << error;
        EXPECT_EQ(Image::fromQImage(QImage::fromData(QByteArray::fromStdString(bytes))), frame);
    }
}
