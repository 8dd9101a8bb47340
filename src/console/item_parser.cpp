#include "console/item_parser.h"

namespace zepa {

// Placeholder until item parsing lands.
int next_char() { return kEndMarker; }
void put_back_char(int) {}
ItemResult next_item(unsigned char*, int, bool) { return {}; }
void input_single(float& target) { target = 0; }
void input_text(std::string& target) { target.clear(); }
float number_item_value(std::string_view, bool) { return 0; }
double decimal_to_double(std::string_view) { return 0; }
std::int64_t integer_conversion(std::string_view, int) { return 0; }

}  // namespace zepa
