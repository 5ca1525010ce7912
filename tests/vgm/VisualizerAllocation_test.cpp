// The media display works on the audio path (register writes and the time
// line arrive while the controller renders): drawing there allocates nothing.
// Building the display and describing the track may allocate; they come first.
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include "vgm/Visualizer.h"
#include "vgm/support/TestCanvas.h"

SX_COUNTING_OPERATOR_NEW()

using testsupport::g_allocations;
using testsupport::g_counting;

TEST(VisualizerAllocation, DrawingWhilePlayingAllocatesNothing) {
    vgmtest::TestCanvas canvas(320, 224);
    VGM::Visualizer display(&canvas.record, nullptr);
    VGM::MediaTrack track;
    track.chips[5].name = "YM2612";
    track.tags[VGM::kTagSystemName] = u"Sega Mega Drive / Genesis";
    display.describeTrack(1, 1, track);

    g_counting = true;
    for (uint32_t page = 0; page < 3; ++page) {
        display.showPage(page);
        display.mediaChipSetup(VGM::kChipYM2413, 0, 44100);
        for (uint32_t i = 0; i < 2000; ++i)
            display.mediaRegisterWrite(i % 2 ? VGM::kChipYM2612 : VGM::kChipYM2413, 441, i & 1,
                                       i & 0xFF, i * 7);
        display.mediaSetTime(12.5);
        display.mediaRegisterWrite(VGM::kChipYM2612, 44100, 0, 0x28, 0);
        display.mediaResetTime();
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_GT(canvas.updates, 3);
}
