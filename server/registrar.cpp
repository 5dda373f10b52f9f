// The registration-script runner (server/registrar.h).
#include "server/registrar.h"

#include <cwctype>

#include "common/win32_raii.h"

namespace registrar {
namespace {

const HRESULT kBadScript = HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);

struct RootName {
  const wchar_t* name;
  HKEY key;
};

const RootName kRoots[] = {
    {L"HKCR", HKEY_CLASSES_ROOT},  {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {L"HKCU", HKEY_CURRENT_USER},  {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKLM", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
};

enum class KeyFlag { None, ForceRemove, NoRemove };

struct Value {
  std::wstring name;
  std::wstring data;
};

struct Key {
  std::wstring name;
  KeyFlag flag = KeyFlag::None;
  bool hasDefault = false;
  std::wstring defaultData;
  std::vector<Value> values;
  std::vector<Key> subkeys;
};

struct Root {
  HKEY key;
  std::vector<Key> keys;
};

struct Token {
  std::wstring text;
  bool quoted = false;
};

bool SameWord(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

// ---- Tokens ------------------------------------------------------------------

class Tokenizer {
 public:
  explicit Tokenizer(const std::wstring& text) : text_(text) {}

  // False at the end of the text or on an unterminated quote (bad() tells).
  bool Next(Token& token) {
    while (pos_ < text_.size() && std::iswspace(text_[pos_])) ++pos_;
    if (pos_ >= text_.size()) return false;
    token = Token{};
    if (text_[pos_] == L'\'') return ReadQuoted(token);
    while (pos_ < text_.size() && !std::iswspace(text_[pos_])) token.text += text_[pos_++];
    return true;
  }
  bool bad() const { return bad_; }

 private:
  bool ReadQuoted(Token& token) {
    token.quoted = true;
    ++pos_;
    while (pos_ < text_.size()) {
      wchar_t c = text_[pos_++];
      if (c != L'\'') {
        token.text += c;
      } else if (pos_ < text_.size() && text_[pos_] == L'\'') {
        token.text += c;
        ++pos_;
      } else {
        return true;
      }
    }
    bad_ = true;
    return false;
  }

  const std::wstring& text_;
  std::size_t pos_ = 0;
  bool bad_ = false;
};

// ---- Parsing -----------------------------------------------------------------

class Parser {
 public:
  explicit Parser(const std::wstring& text) : tokens_(text) { Advance(); }

  bool Parse(std::vector<Root>& roots) {
    while (have_) {
      Root root{};
      if (!RootKey(root.key)) return false;
      Advance();
      if (!Expect(L"{") || !Body(root.keys, nullptr)) return false;
      roots.push_back(std::move(root));
    }
    return !tokens_.bad();
  }

 private:
  void Advance() { have_ = tokens_.Next(token_); }
  bool Is(const wchar_t* word) const { return have_ && !token_.quoted && SameWord(token_.text, word); }
  bool Expect(const wchar_t* word) {
    if (!Is(word)) return false;
    Advance();
    return true;
  }

  bool RootKey(HKEY& key) const {
    for (const RootName& r : kRoots) {
      if (Is(r.name)) {
        key = r.key;
        return true;
      }
    }
    return false;
  }

  // Keys (and, inside a key, named values) up to the closing brace.
  bool Body(std::vector<Key>& keys, std::vector<Value>* values) {
    while (have_ && !Is(L"}")) {
      if (values != nullptr && Is(L"val")) {
        Advance();
        Value v;
        if (!Name(v.name) || !Assignment(v.data)) return false;
        values->push_back(std::move(v));
      } else {
        Key k;
        if (!KeyEntry(k)) return false;
        keys.push_back(std::move(k));
      }
    }
    return Expect(L"}");
  }

  bool KeyEntry(Key& key) {
    if (Is(L"ForceRemove")) {
      key.flag = KeyFlag::ForceRemove;
      Advance();
    } else if (Is(L"NoRemove")) {
      key.flag = KeyFlag::NoRemove;
      Advance();
    }
    if (!Name(key.name)) return false;
    if (Is(L"=")) {
      key.hasDefault = true;
      if (!Assignment(key.defaultData)) return false;
    }
    if (Is(L"{")) {
      Advance();
      return Body(key.subkeys, &key.values);
    }
    return true;
  }

  bool Structural() const { return Is(L"{") || Is(L"}") || Is(L"="); }

  bool Name(std::wstring& name) {
    if (!have_ || Structural()) return false;
    name = token_.text;
    Advance();
    return !name.empty();
  }

  // "= s 'text'"
  bool Assignment(std::wstring& data) {
    if (!Expect(L"=") || !Expect(L"s") || !have_ || Structural()) return false;
    data = token_.text;
    Advance();
    return true;
  }

  Tokenizer tokens_;
  Token token_;
  bool have_ = false;
};

// ---- Applying ----------------------------------------------------------------

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& data) {
  LSTATUS st = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  return HRESULT_FROM_WIN32(st);
}

HRESULT RegisterKeys(HKEY parent, const std::vector<Key>& keys) {
  for (const Key& k : keys) {
    if (k.flag == KeyFlag::ForceRemove) RegDeleteTreeW(parent, k.name.c_str());
    win::UniqueHKey key;
    LSTATUS st = RegCreateKeyExW(parent, k.name.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                 nullptr, key.put(), nullptr);
    if (st != ERROR_SUCCESS) return HRESULT_FROM_WIN32(st);
    HRESULT hr = k.hasDefault ? SetString(key.get(), nullptr, k.defaultData) : S_OK;
    for (const Value& v : k.values) {
      if (FAILED(hr)) break;
      hr = SetString(key.get(), v.name.c_str(), v.data);
    }
    if (SUCCEEDED(hr)) hr = RegisterKeys(key.get(), k.subkeys);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void UnregisterKeys(HKEY parent, const std::vector<Key>& keys) {
  for (const Key& k : keys) {
    if (k.flag != KeyFlag::NoRemove) {
      RegDeleteTreeW(parent, k.name.c_str());
      continue;
    }
    win::UniqueHKey key;
    if (RegOpenKeyExW(parent, k.name.c_str(), 0, KEY_READ | KEY_WRITE, key.put()) !=
        ERROR_SUCCESS) {
      continue;
    }
    for (const Value& v : k.values) RegDeleteValueW(key.get(), v.name.c_str());
    UnregisterKeys(key.get(), k.subkeys);
  }
}

std::wstring DoubleQuotes(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += c;
  }
  return out;
}

std::wstring Substitute(const std::wstring& script, const std::vector<Replacement>& replacements) {
  std::wstring out = script;
  for (const Replacement& r : replacements) {
    const std::wstring placeholder = L"%" + r.name + L"%";
    const std::wstring value = DoubleQuotes(r.value);
    for (std::size_t at = out.find(placeholder); at != std::wstring::npos;
         at = out.find(placeholder, at + value.size())) {
      out.replace(at, placeholder.size(), value);
    }
  }
  return out;
}

}  // namespace

HRESULT RunScript(const std::wstring& script, const std::vector<Replacement>& replacements,
                  Action action, HKEY rootOverride) {
  const std::wstring text = Substitute(script, replacements);
  std::vector<Root> roots;
  if (!Parser(text).Parse(roots)) return kBadScript;
  for (const Root& root : roots) {
    HKEY parent = rootOverride != nullptr ? rootOverride : root.key;
    if (action == Action::Unregister) {
      UnregisterKeys(parent, root.keys);
      continue;
    }
    HRESULT hr = RegisterKeys(parent, root.keys);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace registrar
