#include "simulator/simulation.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "hidlink/identity.h"
#include "simulator/frame_log.h"
#include "simulator/state_file.h"
#include "simulator/tokens.h"

namespace simulator {

using hidlink::CapabilityRecord;
using hidlink::Frame;
using hidlink::ReportKind;

namespace {

std::uint16_t product_id_of(int model) {
    switch (model) {
        case 1:
            return hidlink::ids::sparrow_product_id;
        case 2:
            return hidlink::ids::reed_product_id;
        case 3:
            return hidlink::ids::larch_product_id;
        default:
            return hidlink::ids::reed_msr_product_id;
    }
}

bool parse_model(std::string_view word, int& model) {
    std::uint32_t value = 0;
    if (!parse_decimal(word, 4, value) || value < 1) {
        return false;
    }
    model = static_cast<int>(value);
    return true;
}

// Overwrites the checksum byte (at 2 + L) with a value that cannot pass.
void spoil_checksum(Frame& frame) {
    std::size_t at = 2 + std::clamp<std::size_t>(frame[2], 1, 35);
    frame[at] = static_cast<std::uint8_t>(frame[at] + 1);
}

}  // namespace

bool opens_for_read_write(const InterfaceInfo& info) {
    return info.kind != InterfaceKind::keyboard_collection;
}

hidlink::Capabilities capabilities_of(const InterfaceInfo& info) {
    hidlink::Capabilities caps;
    caps.usage_page = info.usage_page;
    caps.usage = info.usage;
    for (int k = 0; k < hidlink::report_kind_count; ++k) {
        ReportKind kind = static_cast<ReportKind>(k);
        caps.button_caps[k] = static_cast<std::uint16_t>(button_capabilities_of(info, kind).size());
        caps.value_caps[k] = static_cast<std::uint16_t>(value_capabilities_of(info, kind).size());
    }
    if (info.kind == InterfaceKind::keyboard_collection) {
        // Boot keyboard: report ID byte + 8-byte input report, LED output report.
        caps.report_length[0] = 9;
        caps.report_length[1] = 2;
    } else if (info.kind == InterfaceKind::consumer_control) {
        caps.report_length[0] = 3;  // report ID byte + one 16-bit usage
    } else {
        caps.report_length[0] = hidlink::frame_size;
        caps.report_length[1] = hidlink::frame_size;
    }
    return caps;
}

std::vector<CapabilityRecord> button_capabilities_of(const InterfaceInfo& info, ReportKind kind) {
    if (info.kind != InterfaceKind::keyboard_collection) {
        return {};
    }
    switch (kind) {
        case ReportKind::input:  // modifier keys, then the key array
            return {{0x07, 0, true, 0xE0, 0xE7}, {0x07, 0, true, 0x00, 0x65}};
        case ReportKind::output:  // LEDs
            return {{0x08, 0, true, 0x01, 0x05}};
        default:
            return {};
    }
}

std::vector<CapabilityRecord> value_capabilities_of(const InterfaceInfo& info, ReportKind kind) {
    if (info.kind == InterfaceKind::keyboard_collection) {
        return {};
    }
    if (info.kind == InterfaceKind::consumer_control) {
        if (kind == ReportKind::input) {
            return {{0x000C, 0, true, 0x0000, 0x03FF}};
        }
        return {};
    }
    switch (kind) {
        case ReportKind::input:  // a usage range, so the parse has a range to expand
            return {{hidlink::vendor_usage_page, 0, true, 0x01, 0x02}};
        case ReportKind::output:
            return {{hidlink::vendor_usage_page, 0, false, 0x01, 0x01}};
        default:
            return {};
    }
}

std::uint32_t max_usage_list_length_of(const InterfaceInfo& info, ReportKind kind,
                                       std::uint16_t usage_page) {
    std::uint32_t count = 0;
    for (const CapabilityRecord& cap : button_capabilities_of(info, kind)) {
        if (usage_page == 0 || cap.usage_page == usage_page) {
            count += cap.is_range ? cap.usage_max - cap.usage_min + 1u : 1u;
        }
    }
    return count;
}

bool parse_models(std::string_view text, std::vector<int>& models,
                  std::vector<int>& alternate_identity, std::string& error) {
    std::vector<int> parsed;
    std::vector<int> alternates;
    while (true) {
        std::size_t comma = text.find(',');
        std::string_view word = trim(text.substr(0, comma));
        bool alternate = false;
        if (word.size() > 3 && word.substr(word.size() - 3) == "alt") {
            alternate = true;
            word.remove_suffix(3);
        }
        int model = 0;
        if (!parse_model(word, model)) {
            error =
                "models are 1 to 4 (or 1alt), separated by commas: \"" + std::string(text) + "\"";
            return false;
        }
        if (alternate && model != 1) {
            error = "only model 1 has an alternate identity";
            return false;
        }
        if (std::find(parsed.begin(), parsed.end(), model) != parsed.end()) {
            error = "model " + std::to_string(model) + " is given twice";
            return false;
        }
        parsed.push_back(model);
        if (alternate) {
            alternates.push_back(model);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
    }
    models = std::move(parsed);
    alternate_identity = std::move(alternates);
    return true;
}

Simulation::Simulation(std::vector<int> models, std::vector<int> alternate_identity) {
    // Another vendor's device first, so discovery has to look at the vendor ID.
    InterfaceInfo other;
    other.id = other_vendor_interface_id;
    other.kind = InterfaceKind::other_vendor;
    other.vendor_id = other_vendor_id;
    other.product_id = hidlink::ids::reed_product_id;
    other.usage_page = hidlink::vendor_usage_page;
    other.usage = hidlink::vendor_usage;
    interfaces_.push_back(other);

    for (int model : models) {
        if (model < 1 || model > 4 || keyboard(model) != nullptr) {
            continue;
        }
        keyboards_.emplace_back(initial_state(model));
        InterfaceInfo vendor;
        vendor.id = model;
        vendor.model = model;
        vendor.owner_model = model;
        vendor.kind = InterfaceKind::vendor;
        vendor.vendor_id = hidlink::ids::vendor_id;
        vendor.product_id = product_id_of(model);
        if (model == 1 && std::find(alternate_identity.begin(), alternate_identity.end(), 1) !=
                              alternate_identity.end()) {
            vendor.vendor_id = hidlink::ids::alternate_vendor_id;
            vendor.product_id = hidlink::ids::alternate_product_id;
        }
        vendor.usage_page = hidlink::vendor_usage_page;
        vendor.usage = hidlink::vendor_usage;
        // The keyboard's own standard collection comes first: same identity, wrong usage.
        InterfaceInfo collection = vendor;
        collection.id = keyboard_collection_id(model);
        collection.model = 0;
        collection.kind = InterfaceKind::keyboard_collection;
        collection.usage_page = 0x0001;
        collection.usage = 0x0006;
        interfaces_.push_back(collection);
        if (model == 1) {
            InterfaceInfo consumer = collection;
            consumer.id = consumer_control_id(model);
            consumer.kind = InterfaceKind::consumer_control;
            consumer.usage_page = 0x000C;
            consumer.usage = 0x0001;
            interfaces_.push_back(consumer);
        }
        interfaces_.push_back(vendor);
    }
}

void Simulation::set_clock_origin(std::uint64_t start_ms) {
    origin_ms_ = start_ms;
}

const std::vector<InterfaceInfo>& Simulation::interfaces() const {
    return interfaces_;
}

const InterfaceInfo* Simulation::find_interface(int id) const {
    for (const InterfaceInfo& info : interfaces_) {
        if (info.id == id) {
            return &info;
        }
    }
    return nullptr;
}

Keyboard* Simulation::keyboard(int model) {
    for (Keyboard& k : keyboards_) {
        if (k.state().model == model) {
            return &k;
        }
    }
    return nullptr;
}

const KeyboardState* Simulation::keyboard_state(int model) const {
    for (const Keyboard& k : keyboards_) {
        if (k.state().model == model) {
            return &k.state();
        }
    }
    return nullptr;
}

const std::vector<Fault>& Simulation::faults(int model) const {
    static const std::vector<Fault> none;
    auto it = faults_.find(model);
    return it == faults_.end() ? none : it->second;
}

void Simulation::note_time(std::uint64_t now_ms) {
    if (!origin_ms_) {
        origin_ms_ = now_ms;
    }
    latest_ms_ = std::max(latest_ms_, now_ms);
}

std::uint64_t Simulation::elapsed(std::uint64_t now_ms) const {
    return origin_ms_ && now_ms >= *origin_ms_ ? now_ms - *origin_ms_ : 0;
}

void Simulation::log(const std::string& line) {
    if (log_sink_) {
        log_sink_(line);
    }
}

void Simulation::set_log_sink(std::function<void(const std::string& line)> sink) {
    log_sink_ = std::move(sink);
}

void Simulation::set_plug_listener(std::function<void(int model, bool plugged)> listener) {
    plug_listener_ = std::move(listener);
}

Response Simulation::on_frame(int interface_id, const Frame& frame, std::uint64_t now_ms) {
    Response response;
    const InterfaceInfo* info = find_interface(interface_id);
    if (info == nullptr || !info->plugged) {
        return response;
    }
    note_time(now_ms);
    const std::uint64_t at = elapsed(now_ms);
    const int model = info->model;
    log(frame_line(at, model, Direction::in, frame));
    Keyboard* kb = info->kind == InterfaceKind::vendor ? keyboard(model) : nullptr;
    if (kb == nullptr) {
        return response;  // a decoy takes the report and answers nothing
    }

    bool unplug_now = false;
    bool unplug_after = false;
    bool silent = false;
    bool nak = false;
    std::uint32_t delay_ms = 0;
    std::vector<std::uint32_t> spoiled_replies;
    std::vector<Fault> patches;
    AnswerOptions options;
    for (const Fault& fault : faults_firing(faults_[model], frame)) {
        log(event_line(at, model, "fault " + fault.text));
        switch (fault.action) {
            case FaultAction::nak:
                nak = true;
                break;
            case FaultAction::silent:
                silent = true;
                break;
            case FaultAction::bad_checksum:
                spoiled_replies.push_back(fault.argument);
                break;
            case FaultAction::delay:  // delays add up, but never wrap round to a short one
                delay_ms = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(std::uint64_t{delay_ms} + fault.argument,
                                            std::numeric_limits<std::uint32_t>::max()));
                break;
            case FaultAction::short_read:
                options.keymap_data_frames = static_cast<int>(fault.argument);
                break;
            case FaultAction::unplug:
                unplug_now = true;
                break;
            case FaultAction::unplug_after:
                unplug_after = true;
                break;
            case FaultAction::patch:
                patches.push_back(fault);
                break;
        }
    }

    if (unplug_now) {
        set_plugged(model, false, now_ms);
        response.unplug = true;
        return response;
    }

    Answer answer;
    if (silent) {
        // the request is lost: no reply, nothing carried out
    } else if (nak) {
        answer.replies.push_back(negative_reply(frame[1]));
    } else {
        answer = kb->answer(frame, options);
    }
    for (const Fault& patch : patches) {
        if (patch.argument >= 1 && patch.argument <= answer.replies.size()) {
            apply_patch(patch, answer.replies[patch.argument - 1]);
        }
    }
    for (std::uint32_t number : spoiled_replies) {
        if (number >= 1 && number <= answer.replies.size()) {
            spoil_checksum(answer.replies[number - 1]);
        }
    }

    std::uint64_t due = now_ms;
    for (std::size_t i = 0; i < answer.replies.size(); ++i) {
        Reply reply{answer.replies[i], i == 0 ? delay_ms : 0};
        due += reply.delay_ms;
        log(frame_line(at + (due - now_ms), model, Direction::out, reply.frame));
        response.replies.push_back(reply);
    }
    if (answer.state_changed) {
        save();
    }
    if (unplug_after) {
        set_plugged(model, false, now_ms);
        response.unplug = true;
    }
    return response;
}

bool Simulation::input_report(int model, const Frame& report, std::uint64_t now_ms,
                              std::string& error) {
    const InterfaceInfo* info = find_interface(model);  // a vendor interface's id is its model
    if (info == nullptr || info->kind != InterfaceKind::vendor) {
        error = "model " + std::to_string(model) + " is not present";
        return false;
    }
    if (!info->plugged) {
        error = "model " + std::to_string(model) + " is unplugged";
        return false;
    }
    note_time(now_ms);
    log(frame_line(elapsed(now_ms), model, Direction::out, report));
    return true;
}

void Simulation::set_plugged(int model, bool plugged, std::uint64_t now_ms) {
    Keyboard* kb = keyboard(model);
    if (kb == nullptr || kb->state().plugged == plugged) {
        return;
    }
    KeyboardState state = kb->state();
    state.plugged = plugged;
    kb->set_state(std::move(state));
    if (!plugged) {
        kb->power_off();  // transfers in progress are lost
    }
    for (InterfaceInfo& info : interfaces_) {
        if (info.owner_model == model) {
            info.plugged = plugged;
            if (!plugged) {
                ++info.unplugs;
            }
        }
    }
    log(event_line(elapsed(now_ms), model, plugged ? "plug" : "unplug"));
    save();
    if (plug_listener_) {
        plug_listener_(model, plugged);
    }
}

bool Simulation::apply_command(std::string_view command, std::string& error) {
    return run_command(command, error, latest_ms_);
}

bool Simulation::apply_command(std::string_view command, std::string& error, std::uint64_t now_ms) {
    note_time(now_ms);
    return run_command(command, error, now_ms);
}

bool Simulation::run_command(std::string_view command, std::string& error, std::uint64_t now_ms) {
    command = trim(command);
    // One command, one line: a line break inside would carry a second state-file line into
    // "set" and break the frame log's one-line events.
    if (command.find_first_of("\r\n") != std::string_view::npos) {
        error = "a command is one line";
        return false;
    }
    std::vector<std::string_view> words = split_words(command);
    if (words.empty()) {
        error = "empty command";
        return false;
    }
    const std::string_view verb = words[0];
    int model = 0;
    auto model_present = [&](std::size_t index) {
        if (index >= words.size() || !parse_model(words[index], model)) {
            error = std::string(verb) + " needs a model 1 to 4";
            return false;
        }
        if (keyboard(model) == nullptr) {
            error = "model " + std::to_string(model) + " is not present";
            return false;
        }
        return true;
    };
    // The text after the first `count` words of the command.
    auto rest_after = [&](std::size_t count) {
        if (count >= words.size()) {
            return std::string_view{};
        }
        return trim(command.substr(static_cast<std::size_t>(words[count].data() - command.data())));
    };

    if (verb == "plug" || verb == "unplug") {
        if (!model_present(1)) {
            return false;
        }
        if (words.size() != 2) {
            error = std::string(verb) + " takes one model";
            return false;
        }
        set_plugged(model, verb == "plug", now_ms);
        return true;
    }
    if (verb == "fault") {
        if (!model_present(1)) {
            return false;
        }
        Fault fault;
        if (!parse_fault(rest_after(2), fault, error)) {
            return false;
        }
        faults_[model].push_back(std::move(fault));
        return true;
    }
    if (verb == "clear-faults") {
        if (words.size() == 1) {
            faults_.clear();
            return true;
        }
        if (!model_present(1)) {
            return false;
        }
        faults_.erase(model);
        return true;
    }
    if (verb == "set") {
        if (!model_present(1)) {
            return false;
        }
        std::string_view setting = rest_after(2);
        if (setting.empty()) {
            error = "set needs a key and a value, e.g. set 1 key-lockout = 0";
            return false;
        }
        // "key value" or "key = value"; an '=' inside the value (a date, say) is no separator.
        const std::size_t key_end = std::min(setting.find_first_of(" \t="), setting.size());
        std::string_view value = trim(setting.substr(key_end));
        if (value.starts_with('=')) {
            value = trim(value.substr(1));
        }
        const std::string line =
            std::string(setting.substr(0, key_end)) + " = " + std::string(value);
        std::string message;
        if (!apply_state_text("[model " + std::to_string(model) + "]\n" + line + "\n", message,
                              now_ms)) {
            // The message names line 2 of a text the user never saw: keep only the reason.
            std::size_t colon = message.find(": ");
            error = colon == std::string::npos ? message : message.substr(colon + 2);
            return false;
        }
        return true;
    }
    error = "unknown command: " + std::string(verb);
    return false;
}

bool Simulation::apply_state_text(std::string_view text, std::string& error, std::uint64_t now_ms) {
    std::vector<KeyboardState> states;
    for (const Keyboard& k : keyboards_) {
        states.push_back(k.state());
    }
    if (!parse_state(text, states, error)) {
        return false;
    }
    for (std::size_t i = 0; i < keyboards_.size(); ++i) {
        const bool plugged = states[i].plugged;
        // Plug state goes through set_plugged so interfaces, log and listener follow.
        states[i].plugged = keyboards_[i].state().plugged;
        keyboards_[i].set_state(std::move(states[i]));
        set_plugged(keyboards_[i].state().model, plugged, now_ms);
    }
    save();
    return true;
}

bool Simulation::load_state(const std::string& path, std::string& error) {
    std::string text;
    std::string message;
    if (!read_text_file(path, text, message)) {
        error = message;
        return false;
    }
    if (!apply_state_text(text, message, latest_ms_)) {
        error = "state file " + path + ": " + message;
        return false;
    }
    return true;
}

void Simulation::set_state_path(const std::string& path) {
    state_path_ = path;
    save();
}

bool Simulation::open_state_file(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !load_state(path, error)) {
        return false;
    }
    set_state_path(path);
    if (!save_error_.empty()) {
        error = save_error_;
        return false;
    }
    return true;
}

std::string Simulation::state_text() const {
    std::vector<KeyboardState> states;
    for (const Keyboard& k : keyboards_) {
        states.push_back(k.state());
    }
    return format_state(states);
}

void Simulation::save() {
    if (state_path_.empty()) {
        return;
    }
    std::string error;
    if (write_text_file_atomic(state_path_, state_text(), error)) {
        save_error_.clear();
    } else {
        save_error_ = error;
        log(event_line(elapsed(latest_ms_), 0, "state not saved: " + error));
    }
}

}  // namespace simulator
