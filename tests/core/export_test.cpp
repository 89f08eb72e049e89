// The export engine of Export All and extract --all: what each image's outcome is, in index order.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "DibBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/ExportImages.h"
#include "image/DibImage.h"

namespace {

// Records made in memory; the first is slow to read, so later ones finish first.
class CSlowFirst final : public IExportSource {
public:
    std::vector<std::unique_ptr<CDibImage>> images;
    uint32_t Count() const override { return static_cast<uint32_t>(images.size()); }
    const CDibImage* Image(uint32_t index, std::unique_ptr<CDibImage>&) const override
    {
        if (index == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return images[index].get();
    }
};

struct Recorder final : IExportProgress {
    std::vector<uint32_t> order;
    void ImageDone(const ExportedImage& image, uint32_t) override { order.push_back(image.nIndex); }
};

}  // namespace

// Image 1 cannot be a Targa file: its failure is reported with its message after image 0, which a slower worker
// still writes; what comes after is not written. An empty image and one that cannot be read are named.
TEST(ExportImages, AFailureStopsTheImagesAfterItAndKeepsItsMessage)
{
    TempDir dir;
    ScriptedUi ui;
    CSlowFirst source;
    source.images.push_back(DibBuilder::Blank(2, 2, 24));
    source.images.push_back(DibBuilder::Blank(70000, 1, 1));
    for (int i = 0; i < 6; ++i)
        source.images.push_back(DibBuilder::Blank(2, 2, 24));
    ExportOptions options{.strFolder = dir.File("out"), .strNamePath = "rock.nif", .type = ExportType::Tga, .nJobs = 2};
    Recorder progress;
    const ExportReport report = ExportImages(source, options, &progress);
    ASSERT_EQ(report.images.size(), 8u);
    EXPECT_EQ(report.images[0].status, ExportStatus::Written);
    EXPECT_EQ(report.images[1].status, ExportStatus::Failed);
    EXPECT_EQ(report.images[1].messages,
        std::vector<std::string>{
            "Unable to write " + dir.File("out/rock-001.tga") + ", the image is too large for a Targa file."});
    EXPECT_EQ(report.images[7].status, ExportStatus::NotReached);
    EXPECT_FALSE(report.Complete());
    EXPECT_EQ(progress.order, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(ui.Texts().empty());  // the engine shows nothing itself

    // Unreadable and empty images are named and skipped; the others are written.
    source.images[1] = DibBuilder::Blank(0, 0, 24);
    source.images[2].reset();
    options.strFolder = dir.File("again");
    const ExportReport again = ExportImages(source, options);
    EXPECT_EQ(again.images[1].status, ExportStatus::Empty);
    EXPECT_EQ(again.images[1].messages, std::vector<std::string>{"Image 1 is empty (0 x 0) and was not exported."});
    EXPECT_EQ(again.images[2].status, ExportStatus::Unreadable);
    EXPECT_EQ(again.images[7].status, ExportStatus::Written);
    EXPECT_FALSE(again.Complete());
}
