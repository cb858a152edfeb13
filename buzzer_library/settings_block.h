#pragma once
// The settings that every process with the library loaded shares: the saved lasting buzzer,
// wave buzzer and key-click settings and the number of processes attached. The block lives in
// memory shared between processes of both bitnesses, so it holds fixed-size fields only, and
// every field is read and written atomically (several processes use it at the same time).
#include <cstdint>

#include "common/clock.h"

namespace buzzer_library {

constexpr std::int32_t nothing_saved = 0xFFFF;
// The named shared memory that holds the block: one name for both bitnesses, so 32- and 64-bit
// clients on one PC share one block (and the check tool can look at its attach count).
constexpr const char* shared_block_name = "TVKBDCMD.SharedSettings";
// The auto-reset event the library sets when the last client has gone: the check tool waits
// on it and then ends if no client is counted. A process being unloaded may not look for
// windows or post to them, but it may set an event.
constexpr const char* clients_gone_event_name = "TVKBDCMD.ClientsGone";

struct SettingsBlock {
    std::int32_t saved_click = nothing_saved;
    std::int32_t saved_buzz_sound = nothing_saved;
    std::int32_t saved_wave_sound = nothing_saved;
    std::int32_t saved_buzz_pattern = nothing_saved;
    std::int32_t saved_wave_pattern = nothing_saved;
    std::int32_t attach_count = 0;
    // Shared memory starts zero-filled: block_fresh until the first process has written the
    // initial values above. A block made in-process (tests) is ready at once.
    std::int32_t init_state = 2;
};
static_assert(sizeof(SettingsBlock) == 7 * sizeof(std::int32_t));

constexpr std::int32_t block_fresh = 0;
constexpr std::int32_t block_initialising = 1;
constexpr std::int32_t block_ready = 2;

std::int32_t load(std::int32_t& field);
void store(std::int32_t& field, std::int32_t value);

// A lasting sound and its pattern, or nothing (both fields nothing_saved).
struct SavedSound {
    std::int32_t pattern = nothing_saved;
    std::int32_t sound = nothing_saved;
    bool saved() const { return pattern != nothing_saved && sound != nothing_saved; }
};
SavedSound load_sound(std::int32_t& pattern_field, std::int32_t& sound_field);
// Lasting patterns (1, 2) are stored with their sound; anything else clears both. The value
// is decided before the first store, so no reader ever finds a one-shot pattern saved.
void store_sound(std::int32_t& pattern_field, std::int32_t& sound_field, std::int32_t pattern,
                 std::int32_t sound);

// Process attach: counts the process in (interlocked, so processes attaching at once cannot
// lose a count) and, in the process that finds the block fresh, writes the initial values.
// Never waits.
void attach(SettingsBlock& block);
// Process detach: counts the process out; true when it was the last one. The count never
// goes below 0.
bool detach(SettingsBlock& block);
// Before a command reads the saved values: waits until the first process has written the
// initial values. If that process has vanished midway (more than `give_up_ms`), writes them
// itself. Returns at once on a ready block.
void wait_until_ready(SettingsBlock& block, common::Clock& clock, std::uint32_t give_up_ms = 1000);

}  // namespace buzzer_library
