#include "platform/wine/sql_targets.h"

#include <cctype>

namespace platform::wine {
namespace {

struct Token {
  enum class Kind { kWord, kName, kString, kInteger, kParameter, kPunct, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;
};

std::vector<Token> Tokenize(std::string_view s) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (c == '`' || c == '\'') {
      size_t end = s.find(static_cast<char>(c), i + 1);
      if (end == std::string_view::npos) return {};  // unterminated: leave it to the engine
      tokens.push_back({c == '`' ? Token::Kind::kName : Token::Kind::kString,
                        std::string(s.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else if (c == '?') {
      tokens.push_back({Token::Kind::kParameter, "?"});
      ++i;
    } else if (std::isdigit(c) ||
               (c == '-' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t start = i++;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      tokens.push_back({Token::Kind::kInteger, std::string(s.substr(start, i - start))});
    } else if (std::isalpha(c) || c == '_' || c >= 0x80) {
      size_t start = i++;
      while (i < s.size()) {
        unsigned char d = static_cast<unsigned char>(s[i]);
        if (!(std::isalnum(d) || d == '_' || d == '.' || d >= 0x80)) break;
        ++i;
      }
      tokens.push_back({Token::Kind::kWord, std::string(s.substr(start, i - start))});
    } else {
      tokens.push_back({Token::Kind::kPunct, std::string(1, static_cast<char>(c))});
      ++i;
    }
  }
  tokens.push_back({Token::Kind::kEnd, ""});
  return tokens;
}

bool IsWord(const Token& t, const char* word) {
  if (t.kind != Token::Kind::kWord) return false;
  size_t n = 0;
  for (; word[n] != '\0'; ++n) {
    if (n >= t.text.size()) return false;
    if (std::toupper(static_cast<unsigned char>(t.text[n])) != word[n]) return false;
  }
  return n == t.text.size();
}

bool IsPunct(const Token& t, char c) { return t.kind == Token::Kind::kPunct && t.text[0] == c; }

bool IsIdentifier(const Token& t) { return t.kind == Token::Kind::kName || t.kind == Token::Kind::kWord; }

class Reader {
 public:
  explicit Reader(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}
  const Token& Peek() const { return tokens_[position_]; }
  const Token& Next() {
    const Token& t = tokens_[position_];
    if (t.kind != Token::Kind::kEnd) ++position_;
    if (t.kind == Token::Kind::kParameter) ++parameters_;
    return t;
  }
  unsigned parameters() const { return parameters_; }

  bool Value(SqlValue& value) {
    const Token& t = Next();
    switch (t.kind) {
      case Token::Kind::kParameter:
        value.kind = SqlValue::Kind::kParameter;
        value.parameter = parameters_;
        return true;
      case Token::Kind::kInteger:
        value.kind = SqlValue::Kind::kInteger;
        value.text = t.text;
        return true;
      case Token::Kind::kString:
        value.kind = SqlValue::Kind::kString;
        value.text = t.text;
        return true;
      case Token::Kind::kWord:  // NULL and the like
        value.kind = SqlValue::Kind::kOther;
        return true;
      default:
        return false;
    }
  }

 private:
  std::vector<Token> tokens_;
  size_t position_ = 0;
  unsigned parameters_ = 0;
};

SqlTargets ReadInsert(Reader& r) {
  SqlTargets none;
  if (!IsWord(r.Next(), "INTO")) return none;
  SqlTargets result;
  if (!IsIdentifier(r.Peek())) return none;
  result.table = r.Next().text;
  if (!IsPunct(r.Next(), '(')) return none;
  std::vector<std::string> columns;
  for (;;) {
    if (!IsIdentifier(r.Peek())) return none;
    columns.push_back(r.Next().text);
    const Token& t = r.Next();
    if (IsPunct(t, ')')) break;
    if (!IsPunct(t, ',')) return none;
  }
  if (!IsWord(r.Next(), "VALUES") || !IsPunct(r.Next(), '(')) return none;
  for (size_t i = 0;; ++i) {
    SqlValue value;
    if (!r.Value(value)) return none;
    if (i < columns.size()) result.assignments.push_back({columns[i], value});
    const Token& t = r.Next();
    if (IsPunct(t, ')')) break;
    if (!IsPunct(t, ',')) return none;
  }
  result.kind = SqlTargets::Kind::kInsert;
  return result;
}

SqlTargets ReadUpdate(Reader& r) {
  SqlTargets none;
  SqlTargets result;
  if (!IsIdentifier(r.Peek())) return none;
  result.table = r.Next().text;
  if (!IsWord(r.Next(), "SET")) return none;
  for (;;) {
    if (!IsIdentifier(r.Peek())) return none;
    std::string column = r.Next().text;
    if (!IsPunct(r.Next(), '=')) return none;
    SqlValue value;
    if (!r.Value(value)) return none;
    result.assignments.push_back({column, value});
    if (!IsPunct(r.Peek(), ',')) break;
    r.Next();
  }
  result.kind = SqlTargets::Kind::kUpdate;
  return result;
}

}  // namespace

SqlTargets ReadSqlTargets(std::string_view statement) {
  std::vector<Token> tokens = Tokenize(statement);
  if (tokens.empty()) return {};
  Reader r(std::move(tokens));
  const Token& first = r.Next();
  if (IsWord(first, "INSERT")) return ReadInsert(r);
  if (IsWord(first, "UPDATE")) return ReadUpdate(r);
  if (IsWord(first, "CREATE") || IsWord(first, "DROP") || IsWord(first, "ALTER")) {
    SqlTargets result;
    result.kind = SqlTargets::Kind::kSchemaChange;
    return result;
  }
  return {};
}

}  // namespace platform::wine
