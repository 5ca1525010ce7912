// The RPN/NRPN decoder: runs of controllers in every order the halves may
// come in, runs that break, channels that interleave, and a new run that
// starts with the controller that ended the last one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "synth/XRPNDecoder.h"

namespace {

class Deliveries : public VSX::XRPNListener {
public:
    void onRpn(uint8_t c, uint16_t p, uint8_t msb, uint8_t lsb) override {
        add("rpn", c, p, msb, lsb);
    }
    void onNrpn(uint8_t c, uint16_t p, uint8_t msb, uint8_t lsb) override {
        add("nrpn", c, p, msb, lsb);
    }
    void add(const char* kind, uint8_t c, uint16_t p, uint8_t msb, uint8_t lsb) {
        log.push_back(std::string(kind) + " " + std::to_string(c) + " " + std::to_string(p) + " " +
                      std::to_string(msb) + " " + std::to_string(lsb));
    }
    std::vector<std::string> log;
};

struct Cc {
    uint8_t channel, controller, value;
};

TEST(XRPNDecoder, Runs) {
    struct Case {
        const char* name;
        std::vector<Cc> in;
        std::vector<std::string> out; // "rpn|nrpn channel parameter msb lsb"
    };
    const Case cases[] = {
        {"rpn, data msb then lsb",
         {{0, 101, 0}, {0, 100, 6}, {0, 6, 3}, {0, 38, 5}},
         {"rpn 0 6 3 5"}},
        {"parameter lsb first", {{0, 100, 0}, {0, 101, 0}, {0, 6, 2}, {0, 38, 0}}, {"rpn 0 0 2 0"}},
        {"data lsb then msb", {{0, 101, 0}, {0, 100, 0}, {0, 38, 38}, {0, 6, 6}}, {"rpn 0 0 6 38"}},
        {"msb alone: the next controller delivers lsb 0",
         {{0, 101, 0}, {0, 100, 0}, {0, 6, 2}, {0, 7, 100}},
         {"rpn 0 0 2 0"}},
        {"lsb alone: the next controller delivers msb 0",
         {{0, 101, 0}, {0, 100, 0}, {0, 38, 9}, {0, 64, 0}},
         {"rpn 0 0 0 9"}},
        {"msb alone is not delivered yet", {{0, 101, 0}, {0, 100, 0}, {0, 6, 2}}, {}},
        {"nrpn", {{3, 99, 1}, {3, 98, 2}, {3, 6, 6}, {3, 38, 0}}, {"nrpn 3 130 6 0"}},
        {"nrpn lsb first, then data",
         {{0, 98, 2}, {0, 99, 1}, {0, 6, 6}, {0, 10, 0}},
         {"nrpn 0 130 6 0"}},
        {"rpn and nrpn halves do not pair", {{0, 101, 0}, {0, 98, 0}, {0, 6, 1}, {0, 38, 1}}, {}},
        {"a foreign controller breaks the number",
         {{0, 101, 0}, {0, 7, 1}, {0, 100, 0}, {0, 6, 1}, {0, 38, 1}},
         {}},
        {"a foreign controller before the data",
         {{0, 101, 0}, {0, 100, 0}, {0, 7, 1}, {0, 6, 1}, {0, 38, 1}},
         {}},
        {"data without a parameter", {{0, 6, 1}, {0, 38, 1}}, {}},
        {"channels keep their own runs", {{0, 101, 0}, {1, 100, 0}, {0, 6, 1}, {1, 6, 1}}, {}},
        {"interleaved channels",
         {{0, 101, 0},
          {1, 99, 0},
          {0, 100, 6},
          {1, 98, 5},
          {1, 6, 9},
          {0, 6, 3},
          {0, 38, 0},
          {1, 38, 1}},
         {"rpn 0 6 3 0", "nrpn 1 5 9 1"}},
        {"bytes are taken as 7 bits",
         {{0, 101, 129}, {0, 100, 200}, {0, 6, 255}, {0, 38, 130}},
         {"rpn 0 200 127 2"}},
        {"a null parameter, then the next run",
         {{0, 101, 127}, {0, 100, 127}, {0, 101, 0}, {0, 100, 0}, {0, 6, 48}, {0, 38, 0}},
         {"rpn 0 0 48 0"}},
        {"two runs without data lsb",
         {{0, 101, 0}, {0, 100, 0}, {0, 6, 2}, {0, 101, 0}, {0, 100, 1}, {0, 6, 64}, {0, 7, 0}},
         {"rpn 0 0 2 0", "rpn 0 1 64 0"}},
        {"channels above 15 are ignored",
         {{16, 101, 0}, {16, 100, 0}, {16, 6, 1}, {16, 38, 1}},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Deliveries d;
        VSX::XRPNDecoder decoder(&d);
        for (const Cc& cc : c.in) decoder.processController(cc.channel, cc.controller, cc.value);
        EXPECT_EQ(d.log, c.out);
    }
}

} // namespace
