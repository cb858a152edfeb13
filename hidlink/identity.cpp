#include "hidlink/identity.h"

namespace hidlink {

Identity identity_for(Program program, std::int16_t model_selector) {
    switch (model_selector) {
        case 1:
            return program == Program::firmware_tool
                       ? Identity{ids::alternate_vendor_id, ids::alternate_product_id}
                       : Identity{ids::vendor_id, ids::sparrow_product_id};
        case 3:
            return {ids::vendor_id, ids::larch_product_id};
        case 4:
            if (program == Program::firmware_tool) {
                return {ids::vendor_id, ids::reed_msr_product_id};
            }
            break;
        default:
            break;
    }
    // Every other selector (2 in practice) means the Reed keyboard.
    return {ids::vendor_id, ids::reed_product_id};
}

}  // namespace hidlink
