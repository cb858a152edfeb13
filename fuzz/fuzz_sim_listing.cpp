// The sim backend's reader of kbdsim's interface listing on any text: a refused text leaves the
// caller's list alone and says why; an accepted one holds as many records as its counts say and
// formats to a listing that reads back the same; usage list lengths stay within what the records
// can cover.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/sim_checks.h"
#include "simclient/listing.h"

using sim_checks::expect;
using simclient::ListedInterface;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<ListedInterface> listed(1);
    listed[0].id = 12345;
    std::string error;
    if (!simclient::parse_listing(text, listed, error)) {
        expect(error.starts_with("listing "), "refusal without a reason: ", error);
        expect(listed.size() == 1 && listed[0].id == 12345, "a refused listing changed the list");
        return 0;
    }

    const std::string formatted = simclient::format_listing(listed);
    std::vector<ListedInterface> again;
    expect(simclient::parse_listing(formatted, again, error), "formatted listing refused: ", error);
    expect(simclient::format_listing(again) == formatted, "formatted listing reads back different");

    for (const ListedInterface& i : listed) {
        expect(i.id >= 0, "negative interface id accepted");
        for (int k = 0; k < simclient::report_kind_count; ++k) {
            expect(i.button_records[k].size() == i.caps.button_caps[k] &&
                       i.value_records[k].size() == i.caps.value_caps[k],
                   "capability counts differ from the records listed");
        }
        for (const auto& records : i.button_records) {
            const std::uint32_t all = simclient::max_usage_list_length(records, 0);
            std::uint64_t covered = 0;
            for (const simclient::CapabilityRecord& r : records) {
                expect(r.usage_min <= r.usage_max, "usage range runs backwards");
                expect(r.is_range || r.usage_min == r.usage_max, "single usage with a range");
                covered += r.usage_max - r.usage_min + 1u;
                expect(simclient::max_usage_list_length(records, r.usage_page) <= all,
                       "one usage page covers more usages than all pages");
            }
            expect(all == covered, "usage list length differs from the usages the records cover");
        }
    }
    return 0;
}
