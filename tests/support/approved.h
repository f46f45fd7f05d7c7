#pragma once
// A long expected text, such as a worker's whole exchange, lives in a reviewed file
// tests/unit/approved/<name>.txt rather than in a test's code; in the file's name every run of
// characters other than letters, digits, '.' and '_' is one '-' ("Suite.a case" -> Suite.a-case.txt).

#include <string>

// Fails the test unless `text` equals the approved file byte for byte, writing it to
// <name>.received.txt in the build folder and naming the first line that differs. With
// ZARVEL_BLESS=1 in the environment it writes `text` as the approved file instead.
void ExpectApproved(const std::string& name, const std::string& text);
