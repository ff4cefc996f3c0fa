#pragma once
// Text helpers that views use to build filter expressions from field values. Own nothing.

#include <string>
#include <string_view>

#include "runtime/data/field_ref.h"

// The text without trailing blanks; one blank when nothing is left.
std::string DupString(std::string_view text);
// A value as a filter expression writes it: a number as it stands; a string in single quotes with
// inner quotes doubled, inside UPPER(…) or LOWER(…) when the field expression uses that function.
std::string CasedValue(std::string_view fieldExpression, const rt::FieldRef& value);
