#include "version_file.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cwctype>
#include <memory>

namespace cartscope::update {

bool versionFileValue(const std::string& text, const std::string& key, std::string& value) {
  value.clear();
  const std::size_t found = text.find(key + ":");
  if (found == std::string::npos) return false;
  const std::size_t start = found + key.size() + 1;
  const std::size_t end = text.find("\r\n", start);
  value = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return !value.empty();
}

namespace {

bool isSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// Reads a number at `position` of `text` as strtoul would (white space, an
// optional sign, digits); `position` moves past it. No digits: 0, and the
// position stays where it was.
template <class Text>
long long readNumber(const Text& text, std::size_t& position) {
  std::size_t i = position;
  while (i < text.size() && isSpace(static_cast<wchar_t>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digits = i;
  long long number = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (number < LLONG_MAX / 10) number = number * 10 + (text[i] - '0');
    ++i;
  }
  if (i == digits) return 0;
  position = i;
  return negative ? -number : number;
}

}  // namespace

std::int32_t readDecimal(const std::string& text) {
  std::size_t position = 0;
  const long long number = readNumber(text, position);
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(number);
}

int compareVersions(const std::string& remote, const std::wstring& local) {
  std::size_t r = 0, l = 0;
  for (int part = 0; part < 4; ++part) {
    const long long a = readNumber(remote, r);
    const long long b = readNumber(local, l);
    if (a != b) {
      const long long difference = a - b;
      return difference > INT_MAX ? INT_MAX : difference < INT_MIN ? INT_MIN : static_cast<int>(difference);
    }
    ++r;  // the separator
    ++l;
  }
  return 0;
}

int peMachineBits(const std::wstring& path) {
  struct Closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  const std::unique_ptr<std::FILE, Closer> file(_wfopen(path.c_str(), L"rb"));
  if (!file) return 0;
  unsigned char dos[64], header[24];
  if (std::fread(dos, 1, sizeof dos, file.get()) != sizeof dos) return 0;
  const long offset = static_cast<long>(dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<unsigned>(dos[63]) << 24);
  if (std::fseek(file.get(), offset, SEEK_SET) != 0) return 0;
  if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) return 0;
  const unsigned machine = header[4] | header[5] << 8;
  return machine == IMAGE_FILE_MACHINE_I386 ? 32 : machine == IMAGE_FILE_MACHINE_AMD64 ? 64 : 0;
}

}  // namespace cartscope::update
