#include "MainComponentTestAccess.h"
#include "PaintHelpers.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

using testpaint::colourNear;

TEST (NumberFormat, PadsWithZerosToTheWidthAndPrintsWiderValuesInFull)
{
    EXPECT_EQ (MainComponent::format_to (7, 2), "07");
    EXPECT_EQ (MainComponent::format_to (12, 2), "12");
    EXPECT_EQ (MainComponent::format_to (100, 2), "100");
    EXPECT_EQ (MainComponent::format_to (0, 2), "00");
    EXPECT_EQ (MainComponent::format_to (7, 1), "7");
    EXPECT_EQ (MainComponent::format_to (0, 1), "0");
    EXPECT_EQ (MainComponent::format_to (123, 1), "123");
}

//==============================================================================
class HaltOverlayPaint : public ::testing::TestWithParam<juce::Point<int>> {};

TEST_P (HaltOverlayPaint, DimsEverythingAndDrawsTheBoxInTheMiddleQuarter)
{
    MainComponent::HaltOverlayClass overlay;
    overlay.setBounds (0, 0, GetParam().x, GetParam().y);
    const auto image = testpaint::paint (overlay);
    const juce::Colour dim (0x7f000000), box (0xff555555);

    // The box is (200, 137, 400, 275) at 800 x 550 and at 801 x 551.
    EXPECT_TRUE (colourNear (image.getPixelAt (300, 137), box));
    EXPECT_TRUE (colourNear (image.getPixelAt (300, 136), dim));
    EXPECT_TRUE (colourNear (image.getPixelAt (200, 300), box));
    EXPECT_TRUE (colourNear (image.getPixelAt (199, 300), dim));
    EXPECT_TRUE (colourNear (image.getPixelAt (599, 300), box));
    EXPECT_TRUE (colourNear (image.getPixelAt (600, 300), dim));
    EXPECT_TRUE (colourNear (image.getPixelAt (300, 411), box));
    EXPECT_TRUE (colourNear (image.getPixelAt (300, 412), dim));
    EXPECT_TRUE (colourNear (image.getPixelAt (0, 0), dim));
    EXPECT_TRUE (colourNear (image.getPixelAt (GetParam().x - 1, GetParam().y - 1), dim));

    // Rounded corners: the very corner pixel of the box is only partly covered.
    EXPECT_LT (image.getPixelAt (200, 137).getAlpha(), 0xf0);
}

INSTANTIATE_TEST_SUITE_P (Sizes, HaltOverlayPaint, ::testing::Values (juce::Point<int> (800, 550), juce::Point<int> (801, 551)),
                          [] (const auto& p) { return std::to_string (p.param.x) + "x" + std::to_string (p.param.y); });

TEST (HaltOverlay, WritesItsMessageInWhiteOnTwoCentredLines)
{
    MainComponent::HaltOverlayClass overlay;
    overlay.setBounds (0, 0, 800, 550);
    const auto image = testpaint::paint (overlay);

    std::vector<bool> rowHasWhite (550, false);
    int left = 800, right = -1;

    for (int y = 0; y < 550; ++y)
        for (int x = 0; x < 800; ++x)
            if (colourNear (image.getPixelAt (x, y), juce::Colours::white, 40))
            {
                rowHasWhite[(size_t) y] = true;
                left = std::min (left, x);
                right = std::max (right, x);
            }

    std::vector<std::pair<int, int>> bands;

    for (int y = 0; y < 550; ++y)
        if (rowHasWhite[(size_t) y] && (y == 0 || ! rowHasWhite[(size_t) y - 1]))
            bands.push_back ({ y, y });
        else if (rowHasWhite[(size_t) y])
            bands.back().second = y;

    ASSERT_EQ (bands.size(), 2u) << "two lines of text";
    EXPECT_GT (bands[0].first, 137);
    EXPECT_LT (bands[1].second, 412);
    EXPECT_NEAR ((bands[0].first + bands[1].second) / 2.0, 275.0, 6.0) << "centred vertically";
    EXPECT_NEAR ((left + right) / 2.0, 400.0, 6.0) << "centred horizontally";
}

//==============================================================================
TEST (MainComponentLifetime, StartsWithoutDeviceAndKeepsTheOverlayHidden)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);

    EXPECT_EQ (mc.getWidth(), 800);
    EXPECT_EQ (mc.getHeight(), 550);
    EXPECT_FALSE (mc.isRecording);
    EXPECT_EQ (access.writersBusy(), -1);

    auto* overlay = access.haltOverlay();
    ASSERT_NE (overlay, nullptr);
    EXPECT_FALSE (overlay->isVisible());
    EXPECT_EQ (overlay->getBounds(), juce::Rectangle<int> (0, 0, 800, 550));
    // Above every other child; only the always-on-top tooltip window stays above it.
    const auto last = mc.getNumChildComponents() - 1;
    EXPECT_EQ (mc.getIndexOfChildComponent (overlay), last - 1);
    EXPECT_NE (dynamic_cast<juce::TooltipWindow*> (mc.getChildComponent (last)), nullptr);

    // Only meter duties hide it; they never show it.
    access.tick (200);
    EXPECT_FALSE (overlay->isVisible());

    EXPECT_FALSE (access.recordButton().isEnabled());
    EXPECT_FALSE (access.sampleRateCombo().isEnabled());
    EXPECT_EQ (access.sampleRateCombo().getNumItems(), 0);
    EXPECT_TRUE (access.channelBoxes().isEmpty());
}

//==============================================================================
// Backing a take's fresh buffers before the audio thread writes to them

namespace
{
    /** Pages of [p, p + bytes) that the kernel has backed. */
    size_t residentPages (const void* p, size_t bytes)
    {
        const auto page = (size_t) sysconf (_SC_PAGESIZE);
        std::vector<unsigned char> present ((bytes + page - 1) / page);
        EXPECT_EQ (mincore (const_cast<void*> (p), bytes, present.data()), 0);
        return (size_t) std::count_if (present.begin(), present.end(), [] (unsigned char v) { return (v & 1) != 0; });
    }

    /** Fresh anonymous memory, page-aligned and never touched, as a large buffer is. */
    struct FreshMapping
    {
        explicit FreshMapping (size_t n) : bytes (n), p (mmap (nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {}
        ~FreshMapping() { munmap (p, bytes); }
        size_t bytes;
        void* p;
    };
}

TEST (WriterMemory, OnlyMemoryMappedSinceTheSnapshotIsBackedAndItsContentsStay)
{
    constexpr size_t size = 8u << 20;
    const auto pages = size / (size_t) sysconf (_SC_PAGESIZE);

    FreshMapping older (size);
    ASSERT_NE (older.p, MAP_FAILED);
    const auto before = WriterMemory::writableAnonymousMemory();
    FreshMapping newer (size);
    ASSERT_NE (newer.p, MAP_FAILED);
    ASSERT_EQ (residentPages (newer.p, size), 0u);
    ASSERT_EQ (residentPages (older.p, size), 0u);

    EXPECT_GE (WriterMemory::prefaultMemoryMappedSince (before), size);

    EXPECT_EQ (residentPages (newer.p, size), pages) << "a take's buffers are backed before the take";
    EXPECT_EQ (residentPages (older.p, size), 0u) << "memory that was already there is left alone";

    const auto* bytes = static_cast<const unsigned char*> (newer.p);
    EXPECT_TRUE (std::all_of (bytes, bytes + size, [] (unsigned char b) { return b == 0; }));
}

//==============================================================================
TEST (MeterRecovery, AChannelThatCarriedNaNOrInfinityMetersAgainAtItsNextFiniteSamples)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.buildStrip (2, 48000.0);
    ASSERT_EQ (access.meterLevels().size(), 2);
    ASSERT_EQ (access.vuMeters().size(), 2);

    juce::AudioBuffer<float> block (2, 256);
    block.clear();
    block.setSample (0, 100, std::numeric_limits<float>::quiet_NaN());
    block.setSample (1, 100, std::numeric_limits<float>::infinity());

    for (int b = 0; b < 9; ++b)
    {
        mc.getNextAudioBlock (juce::AudioSourceChannelInfo (&block, 0, 256));   // which clears it

        for (int c = 0; c < 2; ++c)
            juce::FloatVectorOperations::fill (block.getWritePointer (c), 0.5f, 256);
    }

    access.tick (50);

    for (int c = 0; c < 2; ++c)
    {
        const auto level = access.meterLevels()[c]->load();
        EXPECT_TRUE (level > 0.4f && level <= 0.5f) << "channel " << c << ": " << level;
        EXPECT_GT (access.vuMeters()[c]->level, 0.5f) << "channel " << c;
    }
}

//==============================================================================
namespace
{
    /** A device type whose second device has no name; it opens nothing. */
    struct TypeWithAnUnnamedDevice : juce::AudioIODeviceType
    {
        TypeWithAnUnnamedDevice() : juce::AudioIODeviceType ("Unnamed test type") {}
        void scanForDevices() override {}
        juce::StringArray getDeviceNames (bool) const override                  { return { "First", "", "Third" }; }
        int getDefaultDeviceIndex (bool) const override                         { return 0; }
        int getIndexOfDevice (juce::AudioIODevice*, bool) const override        { return -1; }
        bool hasSeparateInputsAndOutputs() const override                       { return true; }
        juce::AudioIODevice* createDevice (const juce::String&, const juce::String&) override { return nullptr; }
    };
}

TEST (DeviceList, AnEntryWithoutANameIsLeftOutAndEveryEntryKeepsItsOwnType)
{
    MainComponent mc;
    MainComponentTestAccess access (mc);
    access.deviceManager().addAudioDeviceType (std::make_unique<TypeWithAnUnnamedDevice>());
    access.fillDeviceList();

    auto& combo = access.deviceCombo();
    ASSERT_EQ (access.deviceTypeOfEntry().size(), combo.getNumItems());

    juce::StringArray ours;

    for (int i = 0; i < combo.getNumItems(); ++i)
    {
        EXPECT_EQ (combo.getItemId (i), i + 1);

        if (access.deviceTypeOfEntry()[i] == "Unnamed test type")
            ours.add (combo.getItemText (i));
    }

    EXPECT_EQ (ours.joinIntoString (","), "First,Third");
}
