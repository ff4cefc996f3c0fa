#pragma once
// Pictures: formatting values for display and reading typed text back (deformatting).
// Owns the picture grammar below and its fallbacks; does not own the values' arithmetic
// (decimal.h) or the calendar (date_time.h), which it calls. Nothing above runtime/core.
//
// A picture may start with '@' or not ("D17" is "@D17"). Kinds, letter case-insensitive for n, s:
//
//  @n[sign][0][group][width][.decimals][trail][b]          numbers
//     sign   '-' leading minus (also the default), '(' parentheses (needs trail ')')
//     0      zero padding up to the width (the zeros go after the sign; no grouping then)
//     group  ',' thousands grouped with commas (the default), '_' no grouping
//     width  total field width, 1..255; left out: as wide as the number needs
//     trail  '-' trailing minus, ')' closes '(' ; positives get a blank in its place so columns align
//     b      blank when the value, rounded to the decimals, is zero
//   Values are rounded half away from zero to the decimals and right-aligned in the width;
//   a value that does not fit is the width filled with '#'.
//  @s<width>  text, left-aligned, blank-padded, cut to width bytes never inside a UTF-8 character.
//  @d<n>[sep] / @D<n>[sep]  dates (standard date); n may have leading zeros (@D03 = @D3):
//     1 mm/dd/yy   2 mm/dd/yyyy   3 mmm dd, yyyy   4 month dd, yyyy   5 dd/mm/yy   6 dd/mm/yyyy
//     7 dd mmm yy  8 dd mmm yyyy  9 yy/mm/dd      10 yyyy/mm/dd      11 yymmdd    12 yyyymmdd
//     13 mm/yy     14 mm/yyyy     15 yy/mm        16 yyyy/mm
//     17 the short date, fixed as mm/dd/yyyy; 18 the long date, fixed as month dd, yyyy
//       (fixed so that output never depends on the machine's locale).
//     D zero-pads the leading month or day field; d blank-pads it (" 1/05/2026"). Month names are
//     English, first letter capital ("Dec 06, 2026"). sep replaces '/': '.', '-', '_' (a blank), '/'.
//     A trailing 'b' is accepted; a zero date is always empty. Two-digit years read back as
//     2000-2049 for 00-49 and 1950-1999 for 50-99. Dates outside 29 Dec 1800 .. 31 Dec 9999 give '#'.
//  @t<n>[sep] / @T<n>[sep]  times (standard time):
//     1 hh:mm  2 hhmm  3 hh:mmXM  4 hh:mm:ss  5 hhmmss  6 hh:mm:ssXM  7 hh:mm (short)  8 hh:mm:ss (long)
//     T zero-pads the hour, t blank-pads it; XM is AM or PM. sep replaces ':' as for dates.
//     A zero time is empty; times beyond 24:00 give '#'.
//
// Malformed pictures never fail: Format gives the value as plain text ("-1234.5", the text
// itself) and Deformat gives the text back unchanged. IsValidPicture tells them apart.

#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/decimal.h"
#include "runtime/core/types.h"

namespace rt {

// --- formatting
std::string Format(Real value, std::string_view picture);  // dates/times read the value as a standard date/time
std::string Format(Long value, std::string_view picture);
std::string Format(const Decimal& value, std::string_view picture);  // exact for @n
// @s; a numeric, date or time picture reads the text as a number (text that is no number reads as 0).
std::string FormatText(std::string_view text, std::string_view picture);

// --- deformatting
// The stored value that `text` stands for under `picture`, as plain text: numbers as canonical
// decimal text rounded to the picture's decimals ("-1234.5"), dates as the standard date number,
// times as the standard time number, @s as the text cut to the width. Blank text is "0" for
// numbers, dates and times. nullopt when the text does not fit the picture (letters in a number,
// 31/02/2026 for a date, 25:00 for a time).
std::optional<std::string> Deformat(std::string_view text, std::string_view picture);

// --- query
bool IsValidPicture(std::string_view picture);

}  // namespace rt
