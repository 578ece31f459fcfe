#include "json_check.h"

namespace zur::json {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Value> document() {
    skip_blanks();
    auto value = parse_value(0);
    skip_blanks();
    if (!value || at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  static constexpr int kMaxDepth = 64;

  char peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool eat(char c) {
    if (peek() != c || at_ >= text_.size()) return false;
    ++at_;
    return true;
  }
  bool eat_word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  void skip_blanks() {
    while (at_ < text_.size() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) ++at_;
  }

  std::optional<Value> parse_value(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    Value v;
    if (eat_word("null")) return v;
    if (eat_word("true")) return v.type = Value::Type::Boolean, v.boolean = true, v;
    if (eat_word("false")) return v.type = Value::Type::Boolean, v;
    if (peek() == '"') {
      v.type = Value::Type::String;
      if (!parse_string(v.text)) return std::nullopt;
      return v;
    }
    if (eat('[')) {
      v.type = Value::Type::Array;
      skip_blanks();
      if (eat(']')) return v;
      do {
        skip_blanks();
        auto item = parse_value(depth + 1);
        if (!item) return std::nullopt;
        v.items.push_back(std::move(*item));
        skip_blanks();
      } while (eat(','));
      if (!eat(']')) return std::nullopt;
      return v;
    }
    if (eat('{')) {
      v.type = Value::Type::Object;
      skip_blanks();
      if (eat('}')) return v;
      do {
        skip_blanks();
        std::string key;
        if (peek() != '"' || !parse_string(key)) return std::nullopt;
        skip_blanks();
        if (!eat(':')) return std::nullopt;
        skip_blanks();
        auto member = parse_value(depth + 1);
        if (!member) return std::nullopt;
        v.keys.push_back(std::move(key));
        v.items.push_back(std::move(*member));
        skip_blanks();
      } while (eat(','));
      if (!eat('}')) return std::nullopt;
      return v;
    }
    v.type = Value::Type::Number;
    if (!parse_number(v.text)) return std::nullopt;
    return v;
  }

  // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
  bool parse_number(std::string& out) {
    const std::size_t start = at_;
    auto digits = [&] {
      const std::size_t from = at_;
      while (peek() >= '0' && peek() <= '9') ++at_;
      return at_ > from;
    };
    eat('-');
    if (!eat('0') && !(peek() >= '1' && peek() <= '9' && digits())) return false;
    if (eat('.') && !digits()) return false;
    if ((eat('e') || eat('E')) && !((eat('+') || eat('-') || true) && digits())) return false;
    out = std::string(text_.substr(start, at_ - start));
    return true;
  }

  bool hex4(char32_t& unit) {
    unit = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = peek();
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return false;
      unit = unit * 16 + digit;
      ++at_;
    }
    return true;
  }

  bool parse_string(std::string& out) {
    eat('"');
    for (;;) {
      if (at_ >= text_.size()) return false;
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;  // the document as a whole was checked to be UTF-8
        continue;
      }
      const char e = at_ < text_.size() ? text_[at_++] : '\0';
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          char32_t unit;
          if (!hex4(unit)) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low;
            if (!eat('\\') || !eat('u') || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          append_utf8(out, unit);
          break;
        }
        default: return false;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<Value> parse(std::string_view document) {
  if (!is_utf8(document)) return std::nullopt;
  return Parser(document).document();
}

bool is_utf8(std::string_view bytes) {
  // Each row: the lead byte range, then the allowed range of the first
  // continuation byte; later continuation bytes are 80..BF.
  struct Row { unsigned char lead_lo, lead_hi, next_lo, next_hi; int length; };
  static constexpr Row kRows[] = {
      {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
      {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
      {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
  };
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const Row* row = nullptr;
    for (const Row& r : kRows) {
      if (lead >= r.lead_lo && lead <= r.lead_hi) row = &r;
    }
    if (!row || bytes.size() - i < static_cast<std::size_t>(row->length)) return false;
    for (int k = 1; k < row->length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      const unsigned char lo = k == 1 ? row->next_lo : 0x80, hi = k == 1 ? row->next_hi : 0xBF;
      if (next < lo || next > hi) return false;
    }
    i += row->length;
  }
  return true;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return;
  }
  const int length = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLeadMark[] = {0, 0, 0xC0, 0xE0, 0xF0};
  char bytes[4];
  for (int k = length - 1; k > 0; --k, cp >>= 6) bytes[k] = static_cast<char>(0x80 | (cp & 0x3F));
  bytes[0] = static_cast<char>(kLeadMark[length] | cp);
  out.append(bytes, length);
}

}  // namespace zur::json
