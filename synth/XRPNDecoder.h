// Registered and non-registered parameter numbers (RPN, NRPN) arrive as a
// run of ordinary controller messages on one MIDI channel: the parameter
// number in two halves (101/100 for RPN, 99/98 for NRPN, either half first),
// then the data entry value in two halves (6 the MSB, 38 the LSB, either
// first). The decoder follows that run per channel and hands each complete
// parameter to its listener. A run that is broken by any other controller
// is forgotten; a data entry with one half is delivered with the other half
// 0 as soon as the next controller arrives. Either way the controller that
// ended the run may begin the next one (hosts often close a run with the
// null parameter 127/127 and start the next at once). Controller 121 (reset
// all controllers) forgets the parameter of an idle channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace VSX {

// Receives the parameters the decoder completes.
class XRPNListener {
public:
    virtual ~XRPNListener() = default;
    // parameter = MSB x 128 + LSB.
    virtual void onRpn(uint8_t channel, uint16_t parameter, uint8_t dataMsb, uint8_t dataLsb) = 0;
    virtual void onNrpn(uint8_t channel, uint16_t parameter, uint8_t dataMsb, uint8_t dataLsb) = 0;
};

class XRPNDecoder {
public:
    static constexpr size_t kChannels = 16;

    // Where a channel stands in its run of controllers.
    enum State : uint8_t {
        kIdle = 0,
        kRpnMsbSeen = 1,
        kRpnLsbSeen = 2,
        kNrpnMsbSeen = 3,
        kNrpnLsbSeen = 4,
        kParameterComplete = 5,
        kDataMsbSeen = 6,
        kDataLsbSeen = 7,
    };

    struct ChannelState {
        uint8_t parameterMsb = 127;
        uint8_t parameterLsb = 127;
        uint8_t dataMsb = 0;
        uint8_t dataLsb = 0;
        uint8_t state = kIdle;
        uint8_t isRpn = 0;
    };

    explicit XRPNDecoder(XRPNListener* target = nullptr) : listener(target) {}

    // One controller message of `channel` (0..15; higher channels are
    // ignored). Values are taken as 7 bits.
    void processController(uint8_t channel, uint8_t controller, uint8_t value);
    // The channel forgets its run: parameter 127/127, data 0, idle.
    void resetChannel(uint8_t channel);
    void resetAll();

    XRPNListener* listener; // not owned
    std::array<ChannelState, kChannels> channels{};

private:
    void deliver(uint8_t channel, const ChannelState& s);
};

} // namespace VSX
