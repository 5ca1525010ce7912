#pragma once
// The exact shortcuts of the audio path (skipping a settled chain, advancing a
// silent chip in closed form, the cheap chip-rate filter while the PSG is
// silent) are each guarded by this one process-wide switch. They never change a
// sample; the switch exists so that a test can render the same material with
// the shortcuts on and off and compare the two bit for bit. It is on by default
// and nothing in the product turns it off.
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
