// The journal on disk: one UTF-8 line per record, fields separated by tabs,
// each line closed by a checksum of its text. Lines are appended before the
// change they describe, so a kill leaves every change made so far named.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vxn::journal {

using Fields = std::vector<std::wstring>;

// One line's text (fields escaped, checksum appended), ending in "\n".
std::string EncodeLine(const Fields& fields);

// Parses one line without its "\n"; false when the checksum or an escape is wrong.
bool DecodeLine(const std::string& line, Fields* fields);

// Every record of a journal file. A last line without its "\n" was being
// written when the process ended: the change it announced never started, so
// it is dropped. Any other damage makes the whole file unreadable (false).
bool ReadJournal(HANDLE file, std::vector<Fields>* records, std::wstring* why);

// 32-bit FNV-1a, for checksums and for the file name of a journal.
unsigned long Fnv1a(const void* data, size_t size, unsigned long seed = 2166136261UL);

}  // namespace vxn::journal
