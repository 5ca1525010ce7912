#include "synth/XRPNDecoder.h"

namespace VSX {

namespace {

enum Controller : uint8_t {
    kDataEntryMsb = 6,
    kDataEntryLsb = 38,
    kNrpnLsb = 98,
    kNrpnMsb = 99,
    kRpnLsb = 100,
    kRpnMsb = 101,
    kResetAllControllers = 121,
};

} // namespace

void XRPNDecoder::resetChannel(uint8_t channel) {
    if (channel < kChannels) channels[channel] = ChannelState{};
}

void XRPNDecoder::resetAll() {
    channels.fill(ChannelState{});
}

void XRPNDecoder::deliver(uint8_t channel, const ChannelState& s) {
    if (!listener) return;
    const uint16_t parameter = static_cast<uint16_t>(s.parameterMsb * 128 + s.parameterLsb);
    if (s.isRpn)
        listener->onRpn(channel, parameter, s.dataMsb, s.dataLsb);
    else
        listener->onNrpn(channel, parameter, s.dataMsb, s.dataLsb);
}

void XRPNDecoder::processController(uint8_t channel, uint8_t controller, uint8_t value) {
    if (channel >= kChannels) return;
    ChannelState& s = channels[channel];
    value &= 127;
    // Completes the parameter number with its second half.
    auto complete = [&](bool msbHalf, bool rpn) {
        (msbHalf ? s.parameterMsb : s.parameterLsb) = value;
        s.isRpn = rpn ? 1 : 0;
        s.state = kParameterComplete;
    };

    // A controller that breaks a run may begin the next one (a new parameter
    // number right after a data entry or a null parameter): it is taken
    // again from idle.
    auto breakRun = [&] {
        s = ChannelState{};
        processController(channel, controller, value);
    };

    switch (s.state) {
    case kIdle:
        switch (controller) {
        case kRpnMsb:
            s.parameterMsb = value;
            s.state = kRpnMsbSeen;
            break;
        case kRpnLsb:
            s.parameterLsb = value;
            s.state = kRpnLsbSeen;
            break;
        case kNrpnMsb:
            s.parameterMsb = value;
            s.state = kNrpnMsbSeen;
            break;
        case kNrpnLsb:
            s.parameterLsb = value;
            s.state = kNrpnLsbSeen;
            break;
        case kResetAllControllers:
            s = ChannelState{};
            break;
        default:
            break;
        }
        break;
    case kRpnMsbSeen:
        if (controller == kRpnLsb)
            complete(false, true);
        else
            breakRun();
        break;
    case kRpnLsbSeen:
        if (controller == kRpnMsb)
            complete(true, true);
        else
            breakRun();
        break;
    case kNrpnMsbSeen:
        if (controller == kNrpnLsb)
            complete(false, false);
        else
            breakRun();
        break;
    case kNrpnLsbSeen:
        if (controller == kNrpnMsb)
            complete(true, false);
        else
            breakRun();
        break;
    case kParameterComplete:
        if (controller == kDataEntryMsb) {
            s.dataMsb = value;
            s.state = kDataMsbSeen;
        } else if (controller == kDataEntryLsb) {
            s.dataLsb = value;
            s.state = kDataLsbSeen;
        } else {
            breakRun();
        }
        break;
    case kDataMsbSeen:
    case kDataLsbSeen: {
        const bool completes =
            controller == (s.state == kDataMsbSeen ? kDataEntryLsb : kDataEntryMsb);
        if (completes) (s.state == kDataMsbSeen ? s.dataLsb : s.dataMsb) = value;
        // The listener sees a copy, so that it may feed the decoder again.
        const ChannelState done = s;
        s = ChannelState{};
        deliver(channel, done);
        if (!completes) processController(channel, controller, value);
        break;
    }
    default:
        break; // a state outside the run ignores the message
    }
}

} // namespace VSX
