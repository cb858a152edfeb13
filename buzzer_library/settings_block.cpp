#include "buzzer_library/settings_block.h"

#include <atomic>

namespace buzzer_library {

namespace {

using Field = std::atomic_ref<std::int32_t>;
static_assert(Field::is_always_lock_free, "shared between processes: must not need a lock");

void write_initial_values(SettingsBlock& block) {
    store(block.saved_click, nothing_saved);
    store(block.saved_buzz_sound, nothing_saved);
    store(block.saved_wave_sound, nothing_saved);
    store(block.saved_buzz_pattern, nothing_saved);
    store(block.saved_wave_pattern, nothing_saved);
    Field(block.init_state).store(block_ready, std::memory_order_release);
}

}  // namespace

std::int32_t load(std::int32_t& field) {
    return Field(field).load(std::memory_order_acquire);
}

void store(std::int32_t& field, std::int32_t value) {
    Field(field).store(value, std::memory_order_release);
}

SavedSound load_sound(std::int32_t& pattern_field, std::int32_t& sound_field) {
    SavedSound saved{load(pattern_field), load(sound_field)};
    if (saved.pattern != 1 && saved.pattern != 2) {
        return SavedSound{};  // cleared (or being cleared) by another process
    }
    return saved;
}

void store_sound(std::int32_t& pattern_field, std::int32_t& sound_field, std::int32_t pattern,
                 std::int32_t sound) {
    if (pattern == 1 || pattern == 2) {
        // The sound first: a reader takes a saved setting by its pattern.
        store(sound_field, sound);
        store(pattern_field, pattern);
    } else {
        store(pattern_field, nothing_saved);
        store(sound_field, nothing_saved);
    }
}

void attach(SettingsBlock& block) {
    std::int32_t fresh = block_fresh;
    if (Field(block.init_state)
            .compare_exchange_strong(fresh, block_initialising, std::memory_order_acq_rel)) {
        write_initial_values(block);
    }
    Field(block.attach_count).fetch_add(1, std::memory_order_acq_rel);
}

bool detach(SettingsBlock& block) {
    Field count(block.attach_count);
    std::int32_t seen = count.load(std::memory_order_acquire);
    while (seen > 0) {
        if (count.compare_exchange_weak(seen, seen - 1, std::memory_order_acq_rel)) {
            return seen == 1;
        }
    }
    return true;  // counted out already: nobody is left to keep the check tool
}

void wait_until_ready(SettingsBlock& block, common::Clock& clock, std::uint32_t give_up_ms) {
    Field state(block.init_state);
    const std::uint64_t start = clock.now_ms();
    while (state.load(std::memory_order_acquire) != block_ready) {
        std::int32_t fresh = block_fresh;
        if (state.compare_exchange_strong(fresh, block_initialising, std::memory_order_acq_rel) ||
            clock.now_ms() - start > give_up_ms) {
            write_initial_values(block);
            return;
        }
        clock.sleep_ms(1);
    }
}

}  // namespace buzzer_library
