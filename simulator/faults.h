#pragma once
// Faults injected into a keyboard's answers on request: the misbehaviour tests need (negative
// reply, no reply, wrong checksum, late reply, a short key map read, an unplug mid-exchange,
// changed bytes in a reply).
//
// Text form (after "fault <model>"):
//   <action> [on <CC>[:<B3>[:<B4>]]] [at <n>] [once | always | times <n>]
// actions: nak | silent | badsum [<k>] | delay <ms> | short <n> | unplug | unplug-after
//          | patch [<k>] <byte>=<hex>... [fixsum]
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hidlink/frame.h"

namespace simulator {

enum class FaultAction {
    nak,           // a negative reply instead of the answer; the request is not carried out
    silent,        // no reply at all; the request is not carried out
    bad_checksum,  // the answer's reply number `argument` (1 = first) has a wrong checksum
    delay,         // the answer comes `argument` ms late
    short_read,    // a key map read sends only `argument` data frames and no end frame
    unplug,        // the keyboard is unplugged as the frame arrives; no reply
    unplug_after,  // the frame is answered, then the keyboard is unplugged
    patch,         // bytes of reply number `argument` are changed, its checksum fixed on request
};

// One changed byte of a reply: byte `index` (0 … 37) becomes `value`.
struct BytePatch {
    std::uint8_t index = 0;
    std::uint8_t value = 0;
};

// Which frames a fault watches: a command byte, optionally bytes 3 and 4 (sub-code or item).
struct FrameMatch {
    int command = -1;  // -1: any frame
    int byte3 = -1;
    int byte4 = -1;
};

struct Fault {
    FaultAction action = FaultAction::nak;
    std::uint32_t argument = 0;
    FrameMatch match;
    std::uint32_t at = 1;            // first fires on the at-th matching frame after it was set
    std::uint32_t times = 1;         // how many matching frames it fires on; 0 = always
    std::string text;                // as given, for the log
    std::vector<BytePatch> patches;  // patch: the bytes to change, in order
    bool fix_checksum = false;       // patch: recompute the checksum at 2 + L afterwards

    std::uint32_t matched = 0;  // matching frames seen so far
    std::uint32_t fired = 0;
};

bool parse_fault(std::string_view text, Fault& fault, std::string& error);

// A patch fault's changes to one reply: its bytes, then (with fixsum) the checksum at 2 + L
// of the changed frame, when L is 1 … 35.
void apply_patch(const Fault& fault, hidlink::Frame& reply);

bool frame_matches(const FrameMatch& match, const hidlink::Frame& frame);

// Counts the frame against every fault of the list and returns the faults that fire on it,
// in the order they were set; spent faults leave the list.
std::vector<Fault> faults_firing(std::vector<Fault>& faults, const hidlink::Frame& frame);

}  // namespace simulator
