// A reader for the resource script statements the program uses. It runs the
// script through a small preprocessor (#include, #define, #if and friends),
// splits it into tokens and reads the statements, expanding the names of
// styles and identifiers to their Win32 values.
#include "resource_script.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

// ---- names and values ----

const std::map<std::string, long long>& knownConstants() {
#define C(name) \
  { #name, static_cast < long long>(name) }
  static const std::map<std::string, long long> table = {C(WS_OVERLAPPED),
                                                         C(WS_POPUP),
                                                         C(WS_CHILD),
                                                         C(WS_MINIMIZE),
                                                         C(WS_VISIBLE),
                                                         C(WS_DISABLED),
                                                         C(WS_CLIPSIBLINGS),
                                                         C(WS_CLIPCHILDREN),
                                                         C(WS_MAXIMIZE),
                                                         C(WS_CAPTION),
                                                         C(WS_BORDER),
                                                         C(WS_DLGFRAME),
                                                         C(WS_VSCROLL),
                                                         C(WS_HSCROLL),
                                                         C(WS_SYSMENU),
                                                         C(WS_THICKFRAME),
                                                         C(WS_GROUP),
                                                         C(WS_TABSTOP),
                                                         C(WS_MINIMIZEBOX),
                                                         C(WS_MAXIMIZEBOX),
                                                         C(WS_OVERLAPPEDWINDOW),
                                                         C(WS_POPUPWINDOW),
                                                         C(WS_EX_DLGMODALFRAME),
                                                         C(WS_EX_TOPMOST),
                                                         C(WS_EX_TRANSPARENT),
                                                         C(WS_EX_TOOLWINDOW),
                                                         C(WS_EX_WINDOWEDGE),
                                                         C(WS_EX_CLIENTEDGE),
                                                         C(WS_EX_CONTEXTHELP),
                                                         C(WS_EX_STATICEDGE),
                                                         C(WS_EX_APPWINDOW),
                                                         C(DS_ABSALIGN),
                                                         C(DS_SYSMODAL),
                                                         C(DS_3DLOOK),
                                                         C(DS_FIXEDSYS),
                                                         C(DS_NOFAILCREATE),
                                                         C(DS_LOCALEDIT),
                                                         C(DS_SETFONT),
                                                         C(DS_MODALFRAME),
                                                         C(DS_NOIDLEMSG),
                                                         C(DS_SETFOREGROUND),
                                                         C(DS_CONTROL),
                                                         C(DS_CENTER),
                                                         C(DS_CENTERMOUSE),
                                                         C(DS_CONTEXTHELP),
                                                         C(DS_SHELLFONT),
                                                         C(BS_PUSHBUTTON),
                                                         C(BS_DEFPUSHBUTTON),
                                                         C(BS_CHECKBOX),
                                                         C(BS_AUTOCHECKBOX),
                                                         C(BS_RADIOBUTTON),
                                                         C(BS_3STATE),
                                                         C(BS_AUTO3STATE),
                                                         C(BS_GROUPBOX),
                                                         C(BS_AUTORADIOBUTTON),
                                                         C(BS_ICON),
                                                         C(BS_BITMAP),
                                                         C(BS_LEFT),
                                                         C(BS_RIGHT),
                                                         C(BS_CENTER),
                                                         C(BS_TOP),
                                                         C(BS_BOTTOM),
                                                         C(BS_VCENTER),
                                                         C(BS_MULTILINE),
                                                         C(BS_NOTIFY),
                                                         C(BS_FLAT),
                                                         C(SS_LEFT),
                                                         C(SS_CENTER),
                                                         C(SS_RIGHT),
                                                         C(SS_ICON),
                                                         C(SS_BLACKRECT),
                                                         C(SS_GRAYRECT),
                                                         C(SS_WHITERECT),
                                                         C(SS_BLACKFRAME),
                                                         C(SS_GRAYFRAME),
                                                         C(SS_WHITEFRAME),
                                                         C(SS_SIMPLE),
                                                         C(SS_LEFTNOWORDWRAP),
                                                         C(SS_BITMAP),
                                                         C(SS_ETCHEDHORZ),
                                                         C(SS_ETCHEDVERT),
                                                         C(SS_ETCHEDFRAME),
                                                         C(SS_NOPREFIX),
                                                         C(SS_NOTIFY),
                                                         C(SS_CENTERIMAGE),
                                                         C(SS_RIGHTJUST),
                                                         C(SS_REALSIZEIMAGE),
                                                         C(SS_SUNKEN),
                                                         C(ES_LEFT),
                                                         C(ES_CENTER),
                                                         C(ES_RIGHT),
                                                         C(ES_MULTILINE),
                                                         C(ES_AUTOVSCROLL),
                                                         C(ES_AUTOHSCROLL),
                                                         C(ES_READONLY),
                                                         C(IDOK),
                                                         C(IDCANCEL),
                                                         {"IDABORT", 3},
                                                         {"IDRETRY", 4},
                                                         {"IDIGNORE", 5},
                                                         {"IDYES", 6},
                                                         {"IDNO", 7},
                                                         {"IDCLOSE", 8},
                                                         {"IDHELP", 9},
                                                         {"IDC_STATIC", -1},
                                                         {"RT_MANIFEST", 24},
                                                         {"CREATEPROCESS_MANIFEST_RESOURCE_ID", 1},
                                                         {"LANG_NEUTRAL", 0},
                                                         {"LANG_ENGLISH", 9},
                                                         {"SUBLANG_NEUTRAL", 0},
                                                         {"SUBLANG_DEFAULT", 1},
                                                         {"SUBLANG_ENGLISH_US", 1},
                                                         {"SUBLANG_ENGLISH_UK", 2},
                                                         {"VS_FF_DEBUG", 1},
                                                         {"VOS_NT_WINDOWS32", 0x40004},
                                                         {"VOS__WINDOWS32", 4},
                                                         {"VFT_APP", 1},
                                                         {"VFT2_UNKNOWN", 0}};
#undef C
  return table;
}

// ---- preprocessing ----

struct Preprocessor {
  const IncludeReader& include;
  std::map<std::string, std::string> defines;
  std::string output;
  int depth = 0;

  static std::string stripComments(std::string_view text) {
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (inString) {
        out += c;
        if (c == '"') inString = false;
        if (c == '\\' && i + 1 < text.size()) out += text[++i];
        continue;
      }
      if (c == '"') inString = true;
      if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
        while (i < text.size() && text[i] != '\n') ++i;
        out += '\n';
        continue;
      }
      if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        size_t end = text.find("*/", i + 2);
        for (size_t j = i; j < std::min(end, text.size()); ++j)
          if (text[j] == '\n') out += '\n';
        i = end == std::string_view::npos ? text.size() : end + 1;
        out += ' ';
        continue;
      }
      out += c;
    }
    return out;
  }

  static std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
        continue;
      }
      if (text[i] == '\r') continue;
      if (text[i] == '\n') {
        lines.push_back(line);
        line.clear();
        continue;
      }
      line += text[i];
    }
    lines.push_back(line);
    return lines;
  }

  static std::string trim(std::string_view s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return std::string(s.substr(b, e - b + 1));
  }

  long long evaluateCondition(const std::string& expression);

  void run(std::string_view text) {
    if (++depth > 16) throw std::runtime_error("#include nested too deeply");
    std::vector<bool> active{true};
    std::vector<bool> taken{true};
    for (const std::string& raw : splitLines(stripComments(text))) {
      std::string line = trim(raw);
      if (line.empty() || line[0] != '#') {
        output += active.back() ? raw + "\n" : "\n";
        continue;
      }
      std::string body = trim(std::string_view(line).substr(1));
      size_t space = body.find_first_of(" \t(");
      std::string directive = body.substr(0, space);
      std::string rest = space == std::string::npos ? "" : trim(body.substr(space));
      output += '\n';
      bool parentActive = active.size() < 2 || active[active.size() - 2];
      if (directive == "ifdef" || directive == "ifndef" || directive == "if") {
        bool value = false;
        if (active.back()) {
          if (directive == "if")
            value = evaluateCondition(rest) != 0;
          else
            value = (defines.count(rest) != 0 || knownConstants().count(rest) != 0) ==
                    (directive == "ifdef");
        }
        active.push_back(active.back() && value);
        taken.push_back(value);
      } else if (directive == "elif") {
        if (active.size() < 2) throw std::runtime_error("#elif without #if");
        bool value = !taken.back() && parentActive && evaluateCondition(rest) != 0;
        active.back() = value;
        if (value) taken.back() = true;
      } else if (directive == "else") {
        if (active.size() < 2) throw std::runtime_error("#else without #if");
        active.back() = parentActive && !taken.back();
        taken.back() = true;
      } else if (directive == "endif") {
        if (active.size() < 2) throw std::runtime_error("#endif without #if");
        active.pop_back();
        taken.pop_back();
      } else if (!active.back()) {
        continue;
      } else if (directive == "define") {
        size_t nameEnd = rest.find_first_of(" \t");
        std::string name = rest.substr(0, nameEnd);
        if (name.find('(') == std::string::npos)
          defines[name] = nameEnd == std::string::npos ? "" : trim(rest.substr(nameEnd));
      } else if (directive == "undef") {
        defines.erase(rest);
      } else if (directive == "include") {
        std::string name = rest.size() >= 2 ? rest.substr(1, rest.size() - 2) : rest;
        if (auto included = include(name)) run(*included);
      } else if (directive == "error") {
        throw std::runtime_error("#error " + rest);
      }
    }
    if (active.size() != 1) throw std::runtime_error("#if without #endif");
    --depth;
  }
};

// ---- tokens ----

enum class Kind { Name, Number, String, Punct, End };

struct Token {
  Kind kind;
  std::string text;
  long long number = 0;
  int line = 0;
};

std::string upperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class Lexer {
 public:
  Lexer(const std::string& text, const std::map<std::string, std::string>& defines)
      : defines_(defines) {
    tokenize(text, 0);
    tokens_.push_back({Kind::End, "", 0, line_});
  }
  std::vector<Token>& tokens() { return tokens_; }

 private:
  void tokenize(const std::string& text, int expansionDepth) {
    size_t i = 0;
    while (i < text.size()) {
      char c = text[i];
      if (c == '\n') {
        if (expansionDepth == 0) ++line_;
        ++i;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '"') {
        i = readString(text, i);
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        i = readNumber(text, i);
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t end = i;
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                     text[end] == '_' || text[end] == '.'))
          ++end;
        addName(text.substr(i, end - i), expansionDepth);
        i = end;
      } else {
        tokens_.push_back({Kind::Punct, std::string(1, c), 0, line_});
        ++i;
      }
    }
  }

  void addName(const std::string& name, int expansionDepth) {
    auto found = defines_.find(name);
    if (found != defines_.end() && expansionDepth < 16) {
      tokenize(found->second, expansionDepth + 1);
      return;
    }
    tokens_.push_back({Kind::Name, name, 0, line_});
  }

  size_t readNumber(const std::string& text, size_t i) {
    size_t used = 0;
    long long value = std::stoll(text.substr(i), &used, 0);
    i += used;
    while (i < text.size() &&
           (text[i] == 'L' || text[i] == 'l' || text[i] == 'U' || text[i] == 'u'))
      ++i;
    tokens_.push_back({Kind::Number, "", value, line_});
    return i;
  }

  size_t readString(const std::string& text, size_t i) {
    std::string value;
    ++i;
    for (;;) {
      if (i >= text.size()) throw std::runtime_error("unterminated string");
      char c = text[i++];
      if (c == '"') {
        if (i < text.size() && text[i] == '"') {
          value += '"';
          ++i;
          continue;
        }
        break;
      }
      if (c == '\\' && i < text.size()) {
        char e = text[i++];
        value += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e == 'a' ? '\b' : e;
        continue;
      }
      value += c;
    }
    tokens_.push_back({Kind::String, value, 0, line_});
    return i;
  }

  const std::map<std::string, std::string>& defines_;
  std::vector<Token> tokens_;
  int line_ = 1;
};

// ---- expressions ----

class Expression {
 public:
  Expression(std::vector<Token>& tokens, size_t& pos) : tokens_(tokens), pos_(pos) {}

  long long value() { return orTerm(); }

  // A style: names ORed together, NOT taking bits away from the default.
  DWORD style(DWORD initial) {
    long long result = initial;
    for (;;) {
      bool remove = isName("NOT");
      if (remove) ++pos_;
      long long term = andTerm();
      result = remove ? (result & ~term) : (result | term);
      if (!isPunct("|")) break;
      ++pos_;
    }
    return static_cast<DWORD>(result);
  }

 private:
  bool isPunct(const char* p) const {
    return tokens_[pos_].kind == Kind::Punct && tokens_[pos_].text == p;
  }
  bool isName(const char* n) const {
    return tokens_[pos_].kind == Kind::Name && upperCase(tokens_[pos_].text) == n;
  }
  long long orTerm() {
    long long v = andTerm();
    while (isPunct("|")) {
      ++pos_;
      v |= andTerm();
    }
    return v;
  }
  long long andTerm() {
    long long v = sum();
    while (isPunct("&")) {
      ++pos_;
      v &= sum();
    }
    return v;
  }
  long long sum() {
    long long v = product();
    while (isPunct("+") || isPunct("-")) {
      bool plus = isPunct("+");
      ++pos_;
      long long r = product();
      v = plus ? v + r : v - r;
    }
    return v;
  }
  long long product() {
    long long v = unary();
    while (isPunct("*") || isPunct("/")) {
      bool times = isPunct("*");
      ++pos_;
      long long r = unary();
      if (!times && r == 0) throw std::runtime_error("division by zero");
      v = times ? v * r : v / r;
    }
    return v;
  }
  long long unary() {
    if (isPunct("-")) return ++pos_, -unary();
    if (isPunct("+")) return ++pos_, unary();
    if (isPunct("~")) return ++pos_, ~unary();
    if (isName("NOT")) return ++pos_, ~unary();
    if (isPunct("(")) {
      ++pos_;
      long long v = orTerm();
      if (!isPunct(")")) throw std::runtime_error("')' expected");
      ++pos_;
      return v;
    }
    const Token& t = tokens_[pos_];
    if (t.kind == Kind::Number) return ++pos_, t.number;
    if (t.kind == Kind::Name) {
      auto found = knownConstants().find(t.text);
      if (found == knownConstants().end()) throw std::runtime_error("unknown name " + t.text);
      ++pos_;
      return found->second;
    }
    throw std::runtime_error("a value was expected");
  }

  std::vector<Token>& tokens_;
  size_t& pos_;
};

long long Preprocessor::evaluateCondition(const std::string& expression) {
  std::string text = expression;
  for (size_t at = text.find("defined"); at != std::string::npos; at = text.find("defined")) {
    size_t b = text.find_first_not_of(" \t(", at + 7);
    size_t e = text.find_first_of(" \t)", b);
    std::string name = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
    size_t close = text.find(')', at);
    size_t end = text[text.find_first_not_of(" \t", at + 7)] == '(' ? close + 1 : e;
    text.replace(at, end == std::string::npos ? std::string::npos : end - at,
                 defines.count(name) != 0 ? " 1 " : " 0 ");
  }
  Lexer lexer(text, defines);
  auto& tokens = lexer.tokens();
  for (Token& t : tokens)
    if (t.kind == Kind::Name && knownConstants().count(t.text) == 0) t = {Kind::Number, "", 0};
  size_t pos = 0;
  return Expression(tokens, pos).value();
}

// ---- statements ----

class Parser {
 public:
  Parser(std::vector<Token>& tokens, ResourceScript& out) : t_(tokens), out_(out) {}

  void script() {
    while (peek().kind != Kind::End) statement();
  }

  int line() const { return t_[pos_].line; }

 private:
  const Token& peek(size_t ahead = 0) const { return t_[std::min(pos_ + ahead, t_.size() - 1)]; }
  const Token& next() {
    const Token& t = t_[pos_];
    if (t.kind != Kind::End) ++pos_;
    return t;
  }
  bool isKeyword(const Token& t, const char* word) const {
    return t.kind == Kind::Name && upperCase(t.text) == word;
  }
  bool acceptPunct(const char* p) {
    if (peek().kind == Kind::Punct && peek().text == p) return ++pos_, true;
    return false;
  }
  void expectComma() {
    if (!acceptPunct(",")) throw std::runtime_error("',' expected");
  }
  bool atBegin() const {
    return isKeyword(peek(), "BEGIN") || (peek().kind == Kind::Punct && peek().text == "{");
  }
  bool atEnd() const {
    return isKeyword(peek(), "END") || (peek().kind == Kind::Punct && peek().text == "}");
  }
  void expectBegin() {
    if (!atBegin()) throw std::runtime_error("BEGIN expected");
    next();
  }
  void expectEnd() {
    if (!atEnd()) throw std::runtime_error("END expected");
    next();
  }
  long long value() { return Expression(t_, pos_).value(); }
  DWORD style(DWORD initial) { return Expression(t_, pos_).style(initial); }
  std::string string() {
    if (peek().kind != Kind::String) throw std::runtime_error("a quoted text was expected");
    return next().text;
  }
  bool startsValue() const {
    const Token& t = peek();
    return t.kind == Kind::Number ||
           (t.kind == Kind::Punct && t.text != "," && t.text != "}" && t.text != "{") ||
           (t.kind == Kind::Name && knownConstants().count(t.text) != 0) || isKeyword(t, "NOT");
  }

  void skipBlock() {
    expectBegin();
    int depth = 1;
    while (depth > 0) {
      if (peek().kind == Kind::End) throw std::runtime_error("END expected");
      if (atBegin()) ++depth;
      if (atEnd()) --depth;
      next();
    }
  }

  void skipMemoryOptions() {
    static const char* options[] = {"DISCARDABLE", "MOVEABLE", "PURE",   "PRELOAD",  "LOADONCALL",
                                    "FIXED",       "IMPURE",   "SHARED", "NONSHARED"};
    while (std::any_of(std::begin(options), std::end(options),
                       [&](const char* o) { return isKeyword(peek(), o); }))
      next();
  }

  std::string resourceName() {
    const Token& t = next();
    if (t.kind == Kind::Number) return resourceKey(std::to_string(t.number), true);
    if (t.kind == Kind::Name || t.kind == Kind::String) return resourceKey(t.text, false);
    throw std::runtime_error("a resource name was expected");
  }

  void statement() {
    if (isKeyword(peek(), "LANGUAGE")) {
      next();
      value();
      expectComma();
      value();
      return;
    }
    if (isKeyword(peek(), "STRINGTABLE")) {
      next();
      while (!atBegin() && peek().kind != Kind::End) next();
      skipBlock();
      return;
    }
    std::string key = resourceName();
    const Token& type = next();
    skipMemoryOptions();
    if (isKeyword(type, "MENU")) return menu(key);
    if (isKeyword(type, "DIALOG") || isKeyword(type, "DIALOGEX"))
      return dialog(key, isKeyword(type, "DIALOGEX"));
    if (isKeyword(type, "ICON")) {
      out_.icons.push_back({key, string()});
      return;
    }
    if (peek().kind == Kind::String) {
      next();
      return;
    }
    while (!atBegin() && peek().kind != Kind::End) next();
    skipBlock();
  }

  // ---- menus ----

  UINT menuOptions() {
    UINT flags = 0;
    for (;;) {
      acceptPunct(",");
      if (isKeyword(peek(), "GRAYED"))
        flags |= MF_GRAYED;
      else if (isKeyword(peek(), "INACTIVE"))
        flags |= MF_DISABLED;
      else if (isKeyword(peek(), "CHECKED"))
        flags |= MF_CHECKED;
      else if (isKeyword(peek(), "MENUBARBREAK"))
        flags |= MF_MENUBARBREAK;
      else if (isKeyword(peek(), "MENUBREAK"))
        flags |= MF_MENUBREAK;
      else if (isKeyword(peek(), "HELP"))
        flags |= MF_HELP;
      else
        return flags;
      next();
    }
  }

  std::vector<MenuItemResource> menuItems() {
    std::vector<MenuItemResource> items;
    expectBegin();
    while (!atEnd()) {
      MenuItemResource item;
      if (isKeyword(peek(), "POPUP")) {
        next();
        item.text = string();
        item.flags = MF_POPUP | menuOptions();
        item.children = menuItems();
      } else if (isKeyword(peek(), "MENUITEM")) {
        next();
        if (isKeyword(peek(), "SEPARATOR")) {
          next();
          item.flags = MF_SEPARATOR;
        } else {
          item.text = string();
          expectComma();
          item.id = static_cast<UINT>(value());
          item.flags = menuOptions();
        }
      } else {
        throw std::runtime_error("POPUP or MENUITEM expected");
      }
      items.push_back(std::move(item));
    }
    expectEnd();
    return items;
  }

  void menu(const std::string& key) {
    while (!atBegin() && peek().kind != Kind::End) next();
    out_.menus.push_back({key, menuItems()});
  }

  // ---- dialogs ----

  void dialog(const std::string& key, bool extended) {
    DialogResource d;
    d.key = key;
    d.extended = extended;
    d.x = static_cast<int>(value());
    expectComma();
    d.y = static_cast<int>(value());
    expectComma();
    d.width = static_cast<int>(value());
    expectComma();
    d.height = static_cast<int>(value());
    if (acceptPunct(",")) value();
    d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
    dialogOptions(d);
    expectBegin();
    while (!atEnd()) d.controls.push_back(control(extended));
    expectEnd();
    out_.dialogs.push_back(std::move(d));
  }

  void dialogOptions(DialogResource& d) {
    bool captionGiven = false;
    while (!atBegin()) {
      const Token& option = next();
      if (isKeyword(option, "STYLE")) {
        d.style = style(0);
      } else if (isKeyword(option, "EXSTYLE")) {
        d.exStyle = style(0);
      } else if (isKeyword(option, "CAPTION")) {
        d.caption = string();
        captionGiven = true;
      } else if (isKeyword(option, "FONT")) {
        font(d);
      } else if (isKeyword(option, "LANGUAGE")) {
        value();
        expectComma();
        value();
      } else if (isKeyword(option, "MENU") || isKeyword(option, "CLASS")) {
        next();
      } else if (isKeyword(option, "CHARACTERISTICS") || isKeyword(option, "VERSION")) {
        value();
      } else {
        throw std::runtime_error("unknown dialog option " + option.text);
      }
    }
    if (captionGiven) d.style |= WS_CAPTION;
  }

  void font(DialogResource& d) {
    d.fontSize = static_cast<int>(value());
    expectComma();
    d.fontName = string();
    d.style |= DS_SETFONT;
    while (acceptPunct(",")) value();
  }

  struct ControlKind {
    const char* keyword;
    const char* className;
    DWORD style;
    bool hasText;
  };

  static const ControlKind* controlKind(const std::string& keyword) {
    static const ControlKind kinds[] = {
        {"LTEXT", "STATIC", SS_LEFT | WS_GROUP, true},
        {"RTEXT", "STATIC", SS_RIGHT | WS_GROUP, true},
        {"CTEXT", "STATIC", SS_CENTER | WS_GROUP, true},
        {"PUSHBUTTON", "BUTTON", BS_PUSHBUTTON | WS_TABSTOP, true},
        {"DEFPUSHBUTTON", "BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
        {"GROUPBOX", "BUTTON", BS_GROUPBOX, true},
        {"CHECKBOX", "BUTTON", BS_CHECKBOX | WS_TABSTOP, true},
        {"AUTOCHECKBOX", "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, true},
        {"RADIOBUTTON", "BUTTON", BS_RADIOBUTTON, true},
        {"AUTORADIOBUTTON", "BUTTON", BS_AUTORADIOBUTTON, true},
        {"STATE3", "BUTTON", BS_3STATE | WS_TABSTOP, true},
        {"AUTO3STATE", "BUTTON", BS_AUTO3STATE | WS_TABSTOP, true},
        {"EDITTEXT", "EDIT", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
        {"LISTBOX", "LISTBOX", WS_BORDER, false},
        {"COMBOBOX", "COMBOBOX", 0, false},
        {"SCROLLBAR", "SCROLLBAR", 0, false},
        {"ICON", "STATIC", SS_ICON, true},
    };
    for (const ControlKind& k : kinds)
      if (keyword == k.keyword) return &k;
    return nullptr;
  }

  std::string controlText() {
    const Token& t = next();
    if (t.kind == Kind::String || t.kind == Kind::Name) return t.text;
    if (t.kind == Kind::Number) return "#" + std::to_string(t.number);
    throw std::runtime_error("control text expected");
  }

  void rectangle(ControlResource& c, bool sizeOptional) {
    c.x = static_cast<int>(value());
    expectComma();
    c.y = static_cast<int>(value());
    if (sizeOptional && !acceptPunct(",")) return;
    if (!sizeOptional) expectComma();
    if (sizeOptional && !startsValue()) return;
    c.width = static_cast<int>(value());
    expectComma();
    c.height = static_cast<int>(value());
  }

  void trailingStyles(ControlResource& c, DWORD defaultStyle, bool extended) {
    c.style = defaultStyle;
    if (acceptPunct(",")) c.style = style(defaultStyle);
    if (acceptPunct(",")) c.exStyle = style(0);
    if (extended && acceptPunct(",")) value();
  }

  ControlResource genericControl(bool extended) {
    ControlResource c;
    c.text = controlText();
    expectComma();
    c.id = static_cast<int>(value());
    expectComma();
    c.className = upperCase(controlText());
    expectComma();
    c.style = style(WS_CHILD | WS_VISIBLE);
    expectComma();
    rectangle(c, false);
    if (acceptPunct(",")) c.exStyle = style(0);
    if (extended && acceptPunct(",")) value();
    return c;
  }

  ControlResource control(bool extended) {
    std::string keyword = upperCase(next().text);
    ControlResource c;
    if (keyword == "CONTROL") {
      c = genericControl(extended);
    } else if (const ControlKind* kind = controlKind(keyword)) {
      c.className = kind->className;
      if (kind->hasText) {
        c.text = controlText();
        expectComma();
      }
      c.id = static_cast<int>(value());
      expectComma();
      rectangle(c, keyword == "ICON");
      trailingStyles(c, kind->style | WS_CHILD | WS_VISIBLE, extended);
    } else {
      throw std::runtime_error("unknown control " + keyword);
    }
    if (atBegin()) skipBlock();
    return c;
  }

  std::vector<Token>& t_;
  ResourceScript& out_;
  size_t pos_ = 0;
};

template <typename T>
const T* findByKey(const std::vector<T>& list, const std::string& key) {
  for (const T& item : list)
    if (item.key == key) return &item;
  return nullptr;
}

}  // namespace

std::string resourceKey(std::string_view name, bool isNumber) {
  if (isNumber) return "#" + std::string(name);
  if (!name.empty() && name[0] == '#') return std::string(name);
  return upperCase(std::string(name));
}

std::string resourceKey(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
  return resourceKey(std::string_view(name), false);
}

const MenuResource* ResourceScript::findMenu(const std::string& key) const {
  return findByKey(menus, key);
}
const DialogResource* ResourceScript::findDialog(const std::string& key) const {
  return findByKey(dialogs, key);
}
const IconResource* ResourceScript::findIcon(const std::string& key) const {
  return findByKey(icons, key);
}

bool parseResourceScript(std::string_view text, const IncludeReader& include, ResourceScript& out,
                         std::string* error) {
  Preprocessor pre{include, {}, {}};
  std::vector<Token>* tokens = nullptr;
  try {
    pre.run(text);
  } catch (const std::exception& e) {
    if (error != nullptr) *error = std::string("preprocessing: ") + e.what();
    return false;
  }
  std::unique_ptr<Lexer> lexer;
  try {
    lexer = std::make_unique<Lexer>(pre.output, pre.defines);
    tokens = &lexer->tokens();
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
  Parser parser(*tokens, out);
  try {
    parser.script();
  } catch (const std::exception& e) {
    if (error != nullptr) *error = "line " + std::to_string(parser.line()) + ": " + e.what();
    return false;
  }
  return true;
}
