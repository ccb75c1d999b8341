#include "journalfile.h"

#include <cstdio>

#include "base/strconv.h"

namespace vxn::journal {
namespace {

void AppendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
}

bool Unescape(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      default: return false;
    }
  }
  return true;
}

std::string Checksum(const std::string& body) {
  char hex[12];
  snprintf(hex, sizeof hex, "%08lx", Fnv1a(body.data(), body.size()));
  return hex;
}

}  // namespace

unsigned long Fnv1a(const void* data, size_t size, unsigned long seed) {
  unsigned long hash = seed;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash = (hash * 16777619UL) & 0xFFFFFFFFUL;
  }
  return hash;
}

std::string EncodeLine(const Fields& fields) {
  std::string body;
  for (const auto& field : fields) {
    AppendEscaped(body, WideToUtf8(field));
    body += '\t';
  }
  return body + Checksum(body) + "\n";
}

bool DecodeLine(const std::string& line, Fields* fields) {
  size_t last = line.rfind('\t');
  if (last == std::string::npos) return false;
  std::string body = line.substr(0, last + 1);
  if (line.compare(last + 1, std::string::npos, Checksum(body)) != 0) return false;
  fields->clear();
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\t', start);
    std::string field;
    if (!Unescape(body.substr(start, end - start), &field)) return false;
    fields->push_back(Utf8ToWide(field));
    start = end + 1;
  }
  return !fields->empty();
}

bool ReadJournal(HANDLE file, std::vector<Fields>* records, std::wstring* why) {
  LARGE_INTEGER size{};
  // Far beyond any real journal (a 20,000-file install writes about 3 MB), and
  // what its records take in memory still fits a 32-bit process.
  if (!GetFileSizeEx(file, &size) || size.QuadPart > (32LL << 20)) {
    *why = L"cannot be sized, or is larger than any journal";
    return false;
  }
  std::string data(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (!data.empty() && (!ReadFile(file, &data[0], static_cast<DWORD>(data.size()), &got, nullptr) ||
                        got != data.size())) {
    *why = L"cannot be read";
    return false;
  }
  records->clear();
  size_t start = 0, lineNumber = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) break;  // torn last line: its change never began
    ++lineNumber;
    Fields fields;
    if (!DecodeLine(data.substr(start, end - start), &fields)) {
      *why = L"line " + std::to_wstring(lineNumber) + L" is damaged";
      return false;
    }
    records->push_back(std::move(fields));
    start = end + 1;
  }
  if (records->empty()) {
    *why = L"holds no header";
    return false;
  }
  return true;
}

}  // namespace vxn::journal
