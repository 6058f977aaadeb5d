#pragma once
// A double-byte code page for the tests of the path and text rules, which take the lead-byte
// test as a parameter instead of asking Windows for the system's code page.

// Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC; 0x5C may be a trail byte.
inline bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
