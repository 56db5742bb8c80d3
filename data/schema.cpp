// The column facts of schema discovery, by structure and field number.
#include "data/schema.h"

#include <vector>

namespace vx::data {

namespace {

struct Schema {
    std::vector<std::vector<bool>> not_null;   // [structure][field], both from 1
};
Schema schema;

}  // namespace

void schema_set_not_null(u16 structure, u16 field, bool not_null) {
    if (!structure || !field) return;
    if (schema.not_null.size() <= structure) schema.not_null.resize(structure + 1u);
    std::vector<bool>& fields = schema.not_null[structure];
    if (fields.size() <= field) fields.resize(field + 1u, false);
    fields[field] = not_null;
}

bool schema_not_null(u16 structure, u16 field) {
    if (structure >= schema.not_null.size()) return false;
    const std::vector<bool>& fields = schema.not_null[structure];
    return field < fields.size() && fields[field];
}

void schema_clear() { schema.not_null.clear(); }

}  // namespace vx::data
