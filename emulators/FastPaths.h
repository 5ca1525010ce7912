#pragma once
// The exact shortcuts of the audio path are guarded by this one process-wide
// switch. They never change a sample; the switch exists so that a test can
// render the same material with the shortcuts on and off and compare the two
// bit for bit. It is on by default and nothing in the product turns it off.
//
// The instance reads it once, at the top of each block (ChipWrap::process),
// and hands that value down: to its own stages (ChipWrap::fastPaths), to the
// controller (ChipController::shortcuts), which gives it to every unit's
// renderSpan as `fast`, and to the stereo filter (processScaled's `fast`).
// Nothing below the instance reads the switch itself; a unit driven
// directly (render32) takes it from MD_Emu::setShortcuts.
//
// What it switches (off: the frame-by-frame work instead):
// - a settled chain counting its frames instead of converting them
//   (instrument/ChipWrapIdle.cpp), and the resampler's jump over them;
// - the resampler's passes of a pull counted first and converted at once
//   (Repackager::pull with `ahead`);
// - a silent unit passed over, owing its frames, and moved on in closed form
//   when they are paid (ChipController::renderUnits, MD_Emu::renderSpan,
//   OPN2_Emu::advanceSilent); with it, a unit adding the whole of a chip
//   sample cut by a block's end (carrying) and taking it back when skipped;
// - a quiet PSG not rendered, only moved on later (MD_Emu::renderPiece);
// - whole FM samples handed over as rows and filtered once per sample by the
//   chip-rate stereo filter (ChipWrapProcess, ChipWrapStereoFilter).
//
// What runs whatever it says (exact by construction, and part of the full
// path the shortcuts are compared against): the YM2612's block renders and
// the samples it computes ahead of its output, the silent-channel walk inside
// a render, the pan masks and filter taps kept until they change, the
// silence test's recheck interval (it only decides when a shortcut starts),
// and the filters setting a state below 1e-300 to zero at a block's end.
#include <atomic>

class FastPaths {
public:
    static bool enabled() { return flag().load(std::memory_order_relaxed); }
    static void setEnabled(bool on) { flag().store(on, std::memory_order_relaxed); }

    // Sets the switch for one scope and puts the previous value back.
    class Scope {
    public:
        explicit Scope(bool on) : m_previous(enabled()) { setEnabled(on); }
        ~Scope() { setEnabled(m_previous); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        bool m_previous;
    };

private:
    static std::atomic<bool>& flag()
    {
        static std::atomic<bool> value{true};
        return value;
    }
};
