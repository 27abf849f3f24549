// CString::Format and FormatV: the printf-style formatter over typed
// arguments or a va_list.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "mfc/afxstr.h"
#include "win32/memory.h"

namespace {

using wlmfc::FormatArg;

constexpr int kMaxWidth = 4096;

// Where the formatter takes its arguments from.
class ArgSource {
 public:
  virtual ~ArgSource() = default;
  virtual int64_t Signed(bool wide64) = 0;
  virtual uint64_t Unsigned(bool wide64) = 0;
  virtual double Double() = 0;
  virtual const void* Pointer() = 0;
  // A string argument: exactly one of *wide / *narrow is set, or neither for
  // a null or missing one. `wantWide` is what the conversion asks for.
  virtual void String(bool wantWide, const WCHAR** wide, const char** narrow) = 0;
};

class TypedSource : public ArgSource {
 public:
  TypedSource(const FormatArg* args, size_t count) : args_(args), count_(count) {}
  int64_t Signed(bool wide64) override {
    const FormatArg* a = Next();
    int64_t v = 0;
    if (a != nullptr &&
        (a->kind == FormatArg::Kind::kSigned || a->kind == FormatArg::Kind::kUnsigned)) {
      v = a->i;
    } else if (a != nullptr && a->kind == FormatArg::Kind::kDouble) {
      v = 0;
    }
    return wide64 ? v : static_cast<int32_t>(static_cast<uint32_t>(v));
  }
  uint64_t Unsigned(bool wide64) override {
    const FormatArg* a = Next();
    uint64_t v = 0;
    if (a != nullptr &&
        (a->kind == FormatArg::Kind::kSigned || a->kind == FormatArg::Kind::kUnsigned)) {
      v = a->u;
    } else if (a != nullptr && a->kind == FormatArg::Kind::kPointer) {
      v = reinterpret_cast<uintptr_t>(a->p);
    }
    return wide64 ? v : static_cast<uint32_t>(v);
  }
  double Double() override {
    const FormatArg* a = Next();
    if (a == nullptr) return 0.0;
    switch (a->kind) {
      case FormatArg::Kind::kDouble:
        return a->d;
      case FormatArg::Kind::kSigned:
        return static_cast<double>(a->i);
      case FormatArg::Kind::kUnsigned:
        return static_cast<double>(a->u);
      default:
        return 0.0;
    }
  }
  const void* Pointer() override {
    const FormatArg* a = Next();
    if (a == nullptr) return nullptr;
    switch (a->kind) {
      case FormatArg::Kind::kPointer:
        return a->p;
      case FormatArg::Kind::kWide:
        return a->w;
      case FormatArg::Kind::kNarrow:
        return a->n;
      default:
        return reinterpret_cast<const void*>(static_cast<uintptr_t>(a->u));
    }
  }
  void String(bool, const WCHAR** wide, const char** narrow) override {
    const FormatArg* a = Next();
    *wide = nullptr;
    *narrow = nullptr;
    if (a == nullptr) return;
    if (a->kind == FormatArg::Kind::kWide) *wide = a->w;
    if (a->kind == FormatArg::Kind::kNarrow) *narrow = a->n;
  }

 private:
  const FormatArg* Next() { return next_ < count_ ? &args_[next_++] : nullptr; }
  const FormatArg* args_;
  size_t count_;
  size_t next_ = 0;
};

class VaSource : public ArgSource {
 public:
  explicit VaSource(va_list args) { va_copy(args_, args); }
  ~VaSource() override { va_end(args_); }
  int64_t Signed(bool wide64) override {
    return wide64 ? va_arg(args_, long long) : va_arg(args_, int);
  }
  uint64_t Unsigned(bool wide64) override {
    return wide64 ? va_arg(args_, unsigned long long) : va_arg(args_, unsigned int);
  }
  double Double() override { return va_arg(args_, double); }
  const void* Pointer() override { return va_arg(args_, const void*); }
  void String(bool wantWide, const WCHAR** wide, const char** narrow) override {
    *wide = nullptr;
    *narrow = nullptr;
    if (wantWide) {
      *wide = va_arg(args_, const WCHAR*);
    } else {
      *narrow = va_arg(args_, const char*);
    }
  }

 private:
  va_list args_;
};

struct Spec {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
  enum class Size { kDefault, kShort, kLong64, kWide, kNarrow } size = Size::kDefault;
};

void AppendAscii(std::u16string& out, const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) out.push_back(static_cast<unsigned char>(text[i]));
}

void Pad(std::u16string& out, int count, char16_t fill) {
  if (count > 0) out.append(static_cast<size_t>(count), fill);
}

void AppendPadded(std::u16string& out, const std::u16string& text, const Spec& spec) {
  const int pad = spec.width - static_cast<int>(text.size());
  if (!spec.left) Pad(out, pad, u' ');
  out += text;
  if (spec.left) Pad(out, pad, u' ');
}

// A number through the C library's formatter with our flags and sizes.
void AppendNumber(std::u16string& out, const Spec& spec, char conversion, ArgSource& source) {
  std::string format = "%";
  if (spec.left) format += '-';
  if (spec.plus) format += '+';
  if (spec.space) format += ' ';
  if (spec.zero) format += '0';
  if (spec.alt) format += '#';
  if (spec.width > 0) format += std::to_string(spec.width);
  if (spec.precision >= 0) format += "." + std::to_string(spec.precision);
  const bool wide64 = spec.size == Spec::Size::kLong64;
  char buffer[kMaxWidth * 2 + 400];
  int n = 0;
  switch (conversion) {
    case 'd':
    case 'i': {
      const long long v =
          wide64 ? source.Signed(true)
                 : (spec.size == Spec::Size::kShort ? static_cast<short>(source.Signed(false))
                                                    : source.Signed(false));
      n = std::snprintf(buffer, sizeof buffer, (format + "lld").c_str(), v);
      break;
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': {
      const unsigned long long v = wide64
                                       ? source.Unsigned(true)
                                       : (spec.size == Spec::Size::kShort
                                              ? static_cast<unsigned short>(source.Unsigned(false))
                                              : source.Unsigned(false));
      n = std::snprintf(buffer, sizeof buffer, (format + "ll" + conversion).c_str(), v);
      break;
    }
    default: {  // e E f g G
      const double v = source.Double();
      n = std::snprintf(buffer, sizeof buffer, (format + conversion).c_str(), v);
      break;
    }
  }
  if (n < 0) return;
  AppendAscii(out, buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

void AppendString(std::u16string& out, const Spec& spec, bool wantWide, ArgSource& source) {
  const WCHAR* wide = nullptr;
  const char* narrow = nullptr;
  source.String(wantWide, &wide, &narrow);
  std::u16string text;
  const size_t limit = spec.precision >= 0 ? static_cast<size_t>(spec.precision) : SIZE_MAX;
  if (wide != nullptr) {
    for (size_t i = 0; i < limit && wide[i] != 0; ++i) text.push_back(wide[i]);
  } else if (narrow != nullptr) {
    size_t bytes = 0;
    while (bytes < limit && narrow[bytes] != '\0') ++bytes;
    if (bytes > 0) {
      text.resize(bytes);  // code page 1252: one unit per byte
      const int units =
          MultiByteToWideChar(CP_ACP, 0, narrow, static_cast<int>(bytes),
                              reinterpret_cast<LPWSTR>(text.data()), static_cast<int>(bytes));
      text.resize(units > 0 ? static_cast<size_t>(units) : 0);
    }
  } else {
    text = u"(null)";
    if (text.size() > limit) text.resize(limit);
  }
  AppendPadded(out, text, spec);
}

void AppendChar(std::u16string& out, const Spec& spec, bool wantWide, ArgSource& source) {
  const uint64_t value = source.Unsigned(false);
  char16_t c = 0;
  if (wantWide) {
    c = static_cast<char16_t>(value);
  } else {
    const char byte = static_cast<char>(value);
    WCHAR unit = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) == 1) c = unit;
  }
  AppendPadded(out, std::u16string(1, c), spec);
}

// Reads digits or '*' at format[i]; the value is clamped to kMaxWidth.
int ReadCount(const WCHAR* format, size_t& i, ArgSource& source, bool* fromArgs) {
  *fromArgs = false;
  if (format[i] == u'*') {
    ++i;
    *fromArgs = true;
    const int64_t v = source.Signed(false);
    return static_cast<int>(v < -kMaxWidth ? -kMaxWidth : (v > kMaxWidth ? kMaxWidth : v));
  }
  int value = 0;
  while (format[i] >= u'0' && format[i] <= u'9') {
    value = value * 10 + (format[i] - u'0');
    if (value > kMaxWidth) value = kMaxWidth;
    ++i;
  }
  return value;
}

bool Run(CString& result, LPCWSTR format, ArgSource& source) {
  std::u16string out;
  if (format == nullptr) {
    result.Empty();
    return true;
  }
  size_t i = 0;
  while (format[i] != 0) {
    if (format[i] != u'%') {
      out.push_back(format[i++]);
      continue;
    }
    const size_t start = i++;
    if (format[i] == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    Spec spec;
    for (;; ++i) {
      if (format[i] == u'-') {
        spec.left = true;
      } else if (format[i] == u'+') {
        spec.plus = true;
      } else if (format[i] == u' ') {
        spec.space = true;
      } else if (format[i] == u'0') {
        spec.zero = true;
      } else if (format[i] == u'#') {
        spec.alt = true;
      } else {
        break;
      }
    }
    bool fromArgs = false;
    spec.width = ReadCount(format, i, source, &fromArgs);
    if (spec.width < 0) {  // a negative * width means left alignment
      spec.left = true;
      spec.width = -spec.width;
    }
    if (format[i] == u'.') {
      ++i;
      spec.precision = ReadCount(format, i, source, &fromArgs);
      if (spec.precision < 0) spec.precision = -1;
    }
    if (format[i] == u'h') {
      spec.size = Spec::Size::kShort;
      ++i;
    } else if (format[i] == u'l') {
      ++i;
      if (format[i] == u'l') {
        spec.size = Spec::Size::kLong64;
        ++i;
      } else {
        spec.size = Spec::Size::kWide;  // 32-bit numbers, wide strings
      }
    } else if (format[i] == u'w') {
      spec.size = Spec::Size::kWide;
      ++i;
    } else if (format[i] == u'I' && format[i + 1] == u'6' && format[i + 2] == u'4') {
      spec.size = Spec::Size::kLong64;
      i += 3;
    } else if (format[i] == u'I' && format[i + 1] == u'3' && format[i + 2] == u'2') {
      i += 3;
    }
    const WCHAR conversion = format[i];
    switch (conversion) {
      case u'd':
      case u'i':
      case u'u':
      case u'o':
      case u'x':
      case u'X':
      case u'e':
      case u'E':
      case u'f':
      case u'g':
      case u'G':
        AppendNumber(out, spec, static_cast<char>(conversion), source);
        break;
      case u's':
      case u'S': {
        // %s is wide in a wide format, %S narrow; h and l/w choose outright.
        bool wide = conversion == u's';
        if (spec.size == Spec::Size::kShort) wide = false;
        if (spec.size == Spec::Size::kWide) wide = true;
        AppendString(out, spec, wide, source);
        break;
      }
      case u'c':
      case u'C': {
        bool wide = conversion == u'c';
        if (spec.size == Spec::Size::kShort) wide = false;
        if (spec.size == Spec::Size::kWide) wide = true;
        AppendChar(out, spec, wide, source);
        break;
      }
      case u'p': {
        char buffer[32];
        const int n = std::snprintf(
            buffer, sizeof buffer, "%016llX",
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(source.Pointer())));
        std::u16string text;
        AppendAscii(text, buffer, static_cast<size_t>(n > 0 ? n : 0));
        AppendPadded(out, text, spec);
        break;
      }
      default:
        // Unknown or missing conversion: the text is copied as written.
        out.append(format + start, i - start);
        if (conversion == 0) continue;
        out.push_back(conversion);
        break;
    }
    if (conversion != 0) ++i;
  }
  if (out.size() > static_cast<size_t>(INT_MAX / 4)) {
    result.Empty();
    return false;
  }
  LPWSTR buffer = result.GetBufferSetLength(static_cast<int>(out.size()));
  if (buffer == nullptr) return false;
  std::memcpy(buffer, out.data(), out.size() * sizeof(WCHAR));
  return true;
}

}  // namespace

namespace wlmfc {

BOOL FormatTyped(CString& out, LPCWSTR format, const FormatArg* args, size_t count) {
  TypedSource source(args, count);
  try {
    return Run(out, format, source) ? TRUE : FALSE;
  } catch (...) {  // std::bad_alloc from the work string
    out.Empty();
    return FALSE;
  }
}

}  // namespace wlmfc

void CString::FormatV(LPCWSTR lpszFormat, va_list argList) {
  VaSource source(argList);
  try {
    Run(*this, lpszFormat, source);
  } catch (...) {
    Empty();
  }
}
