// Register model of the OPN-family chips: construction-time set-up, reset,
// write dispatch through the handler table, the per-sample timer A / CSM step,
// operator keying and channel mutes.
#pragma once

#include <cstdint>

#include "emulators/FmChipState.h"

// Clears the whole state and sets it up for `variant` (0 YM2203, 1 YM2608,
// 2 YM2610, 3 YM2610B, 4 YM2612): channel links, per-operator constants,
// channel count, handler table, ADPCM voice kinds. Builds the shared tables
// if needed. An unknown variant gets no channels and ignores every write.
void fmInitChip(FmChipState& chip, uint32_t variant);

// Installs the handler table for chip.shared.variant (called by fmInitChip).
void fmInstallHandlers(FmChipState& chip);

// ChipEmu::reset of the register model: latches, timer A, CSM, LFO, the used
// channels and their operators, the EG counter (4), sample voices; the YM2612
// then gets both pan bits on every channel and its frequencies recomputed.
// Pan bits of the other variants, the mute flags and the pitch scale stay.
void fmResetChip(FmChipState& chip);

// Sets the pitch scale (phase increments x scale / 2^24, kFmOwnPitch for the
// chip's own) and recomputes the frequencies of the used channels.
void fmSetPitchScale(FmChipState& chip, uint32_t scale);

// Dispatches one register write to the handler of (port & 1, address & 0xFF).
void fmWrite(FmChipState& chip, uint16_t address, uint8_t data, uint64_t port);

// Mutes (value > 0) or unmutes FM channel `index` (0-based channel number,
// mapped to its record through fmChannelRecords). Other indices are ignored.
void fmSetChannelMute(FmChipState& chip, uint32_t index, float value);

// Applies an operator's key (regKeyOn or csmKeyOn) to its phase and envelope
// generators.
void fmKeyOperator(FmOperator& op);

// Timer A, once per output sample before the channels: counts when running
// and flags the overflow at bit 10; then the CSM sequence (fmCsmStep).
void fmTimerStep(FmSharedState& shared, FmChannel& ch3);
// The CSM key sequence of one sample, without the timer count: pending
// S3/S2/S4 key-on or their release, then the overflow reload (keying S1 in
// CSM mode) or S1's release.
void fmCsmStep(FmSharedState& shared, FmChannel& ch3);
// fmTimerStep on the chip's shared state and channel-3 record.
void fmTimerStep(FmChipState& chip);

// EG counter tick and LFO tick of one output sample, after the channels; the
// LFO updates the frequencies of every used channel when its step changes.
void fmEndSample(FmChipState& chip);
