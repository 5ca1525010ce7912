// MIDI data-byte helpers: joining and splitting 14-bit values, converting
// normalised values to 7- and 14-bit MIDI values, and one-line message texts.
#pragma once

#include <cstdint>

// lsb + msb * 128; the bytes are not masked.
int PMIDICombineBytes(uint8_t lsb, uint8_t msb);
// Splits the low 14 bits of `value` into two 7-bit data bytes.
void PMIDICreateBytes(uint16_t value, uint8_t& lsb, uint8_t& msb);

// 0..1 -> 0..127; values outside 0..1 wrap around modulo 128.
int32_t PDowngradeToMIDI7(const float& x);
int32_t PDowngradeToMIDI7(const double& x);
// -1..1 -> 0..16383 (0 -> 8192), clamped.
int32_t PDowngradeToMIDI14(const float& x);
int32_t PDowngradeToMIDI14(const double& x);

// Writes the text of one three-byte MIDI message; nothing for a null buffer or
// a buffer of fewer than 32 bytes.
void PMIDILogMessage(char* buffer, uint64_t size, const uint8_t* message, bool zeroBasedChannel);
