#include "firmware_download/srecord.h"

#include <cstdio>
#include <memory>
#include <new>

#include "common/hex_digit.h"

namespace firmware_download {

namespace {

bool in_window(std::uint32_t address) {
    return address >= window_start && address <= window_end;
}

// True when any of a record's data bytes, `byte_count` of them from `address` on, falls
// inside the window.
bool reaches_window(std::uint32_t address, int byte_count) {
    const std::uint64_t last = std::uint64_t{address} + static_cast<std::uint64_t>(byte_count) - 1;
    return byte_count > 0 && address <= window_end && last >= window_start;
}

enum class State { seek, type, count, address, skip, data, checksum };

}  // namespace

ParseOutcome read_records(std::string_view text, FirmwareImage& image) {
    image.fill(0xFF);
    State state = State::seek;
    std::uint8_t sum = 0;
    std::uint32_t address = 0;
    int address_digits = 0;  // of the record's type
    int digits_seen = 0;     // inside the current field
    std::uint8_t field = 0;  // count, data byte or checksum being assembled
    int data_digits = 0;     // D: data digits still to come
    // A file whose records all lie outside the window would download a blank image.
    bool window_written = false;

    for (char c : text) {
        const int digit = common::hex_digit(c);  // either case, as S-record writers produce
        const bool digit_expected = state == State::count || state == State::address ||
                                    state == State::data || state == State::checksum;
        if (digit_expected && digit < 0) {
            // A record cut short or damaged: taking the next record's "S" or a line end as a
            // digit can still match the checksum and leave a hole in the image.
            return ParseOutcome::format_error;
        }
        const auto value = static_cast<std::uint8_t>(digit);
        switch (state) {
            case State::seek:
                if (c == 'S') {
                    state = State::type;
                }
                break;
            case State::type:
                if (c == '0' || c == '5') {
                    state = State::seek;  // header and count records: skipped unread
                } else if (c >= '1' && c <= '3') {
                    address_digits = 2 * (c - '1' + 2);
                    sum = 0;
                    address = 0;
                    digits_seen = 0;
                    field = 0;
                    state = State::count;
                } else if (c == '8') {
                    // Nothing after the end record is read.
                    return window_written ? ParseOutcome::accepted : ParseOutcome::format_error;
                } else {
                    return ParseOutcome::format_error;
                }
                break;
            case State::count:
                field = static_cast<std::uint8_t>(field * 16 + value);
                if (++digits_seen == 2) {
                    sum = static_cast<std::uint8_t>(sum + field);
                    data_digits = 2 * field - address_digits - 2;
                    digits_seen = 0;
                    state = State::address;
                }
                break;
            case State::address:
                address = address * 16 + value;
                if (++digits_seen % 2 == 0) {
                    sum = static_cast<std::uint8_t>(sum + (address & 0xFF));
                }
                if (digits_seen == address_digits) {
                    digits_seen = 0;
                    field = 0;
                    if (!in_window(address) && !reaches_window(address, data_digits / 2)) {
                        // Wholly outside the window the rest of the record is not looked at.
                        state = data_digits > 0 ? State::skip : State::seek;
                    } else if (data_digits > 0) {
                        // A record reaching into the window from either side is read whole
                        // and its checksum tested: the part inside would otherwise stay 0xFF
                        // or go to the keyboard unchecked.
                        state = State::data;
                    } else if (data_digits == 0) {
                        // A record without data bytes: only its checksum can be tested.
                        sum = static_cast<std::uint8_t>(~sum);
                        state = State::checksum;
                    } else {
                        return ParseOutcome::format_error;  // count below its own address
                    }
                }
                break;
            case State::skip:
                state = State::seek;  // the rest of the record and its checksum skipped
                break;
            case State::data: {
                if (data_digits % 2 == 0) {
                    field = static_cast<std::uint8_t>(value * 16);
                } else {
                    field = static_cast<std::uint8_t>(field + value);
                    sum = static_cast<std::uint8_t>(sum + field);
                    if (in_window(address)) {
                        image[address - window_start] = field;
                        window_written = true;
                    }
                    ++address;
                    field = 0;
                }
                if (--data_digits == 0) {
                    sum = static_cast<std::uint8_t>(~sum);
                    state = State::checksum;
                }
                break;
            }
            case State::checksum:
                field = static_cast<std::uint8_t>(field * 16 + value);
                if (++digits_seen == 2) {
                    if (field != sum) {
                        return ParseOutcome::format_error;
                    }
                    // Seek takes the separator, so an "S" right after the checksum starts the
                    // next record instead of being swallowed.
                    state = State::seek;
                }
                break;
        }
    }
    return ParseOutcome::format_error;  // no end record
}

bool firmware_file_opens(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

ParseOutcome read_firmware_file(const std::string& path, FirmwareImage& image,
                                std::size_t max_size) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return ParseOutcome::not_found;
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        size = std::ftell(file);
    }
    if (size < 0 || static_cast<unsigned long>(size) > max_size ||
        std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return ParseOutcome::cannot_read;
    }
    // Text mode only ever shortens what is read, so the file's size is enough.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(size) + 1]);
    if (!buffer) {
        std::fclose(file);
        return ParseOutcome::cannot_read;
    }
    const std::size_t read = std::fread(buffer.get(), 1, static_cast<std::size_t>(size), file);
    std::fclose(file);
    return read_records(std::string_view(buffer.get(), read), image);
}

}  // namespace firmware_download
