// The column facts of schema discovery, by structure and field number.
#include "data/schema.h"

#include <cstring>
#include <vector>

namespace vx::data {

namespace {

enum Fact : unsigned char { NOT_NULL = 1, HAS_BLANK = 2, BLANK_KNOWN = 4 };
constexpr const char* DATE_FIELD_TYPES = "DF";

struct Schema {
    std::vector<std::vector<unsigned char>> facts;  // [structure][field], both from 1
};
Schema schema;

unsigned char facts_of(u16 structure, u16 field) {
    if (structure >= schema.facts.size()) return 0;
    const std::vector<unsigned char>& fields = schema.facts[structure];
    return field < fields.size() ? fields[field] : 0;
}

void set_fact(u16 structure, u16 field, unsigned char fact, bool on) {
    if (!structure || !field) return;
    if (schema.facts.size() <= structure) schema.facts.resize(structure + 1u);
    std::vector<unsigned char>& fields = schema.facts[structure];
    if (fields.size() <= field) fields.resize(field + 1u, 0);
    fields[field] = on ? fields[field] | fact : fields[field] & ~fact;
}

}  // namespace

void schema_set_not_null(u16 structure, u16 field, bool not_null) {
    set_fact(structure, field, NOT_NULL, not_null);
}

bool schema_not_null(u16 structure, u16 field) {
    return facts_of(structure, field) & NOT_NULL;
}

void schema_set_has_blank(u16 structure, u16 field, bool has_blank) {
    set_fact(structure, field, BLANK_KNOWN, true);
    set_fact(structure, field, HAS_BLANK, has_blank);
}

bool schema_has_blank(u16 structure, u16 field, char field_type) {
    unsigned char f = facts_of(structure, field);
    if (f & BLANK_KNOWN) return f & HAS_BLANK;
    return !(field_type && std::strchr(DATE_FIELD_TYPES, field_type));
}

void schema_clear() {
    schema.facts.clear();
}

}  // namespace vx::data
