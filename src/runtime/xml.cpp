// The manifest reader. Beyond the reading rules of the manifest format it decides:
// - Text outside the top-level element is ignored, and so are further top-level elements after the
//   first one: the document is accepted when every element is closed, and lookups start at the
//   first top-level element.
// - A construct cut off by the end of the bytes rejects the document: a "<" at the very end, a tag,
//   comment, declaration or character-data section without its end, an open quoted value.
// - An element name must not be empty ("<>", "< a>", "</>").
// - An attribute runs name, "=", value; a name without "=" (as in "<a b>") rejects the document,
//   and so does an attribute that follows a quoted value without white space between them.
// - An attribute name ends at white space, "=", ">" or "/>"; an unquoted value runs to the next
//   white space, whatever it holds (so "<a b=1/>" has the value "1/>" and leaves the tag open).
// - An end tag may hold white space between its name and ">"; anything else there rejects.
// - "<![CDATA[" outside any element is an ordinary "<!" declaration, skipped up to its ">".
// - Inputs of 4 GiB or more are rejected (the tree keeps 32-bit offsets), and so is a document
//   whose tree cannot be allocated.

#include "runtime/xml.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace pelorin::xml {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

struct Span {
  std::uint32_t begin = 0;
  std::uint32_t size = 0;
};

struct Element {
  Span name;
  std::uint32_t first_attribute = 0;  // the element's attributes are consecutive
  std::uint32_t attribute_count = 0;
  std::uint32_t first_child = kNone;
  std::uint32_t next_sibling = kNone;
};

struct Attribute {
  Span name;
  Span value;  // as written, references not yet decoded
};

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

// The accepted document: a copy of its bytes and its elements in document order, the first being
// the first top-level element. Names and values are spans into the bytes.
struct Tree {
  std::string bytes;
  std::vector<Element> elements;
  std::vector<Attribute> attributes;

  std::string_view view(Span s) const { return std::string_view(bytes).substr(s.begin, s.size); }
};

namespace {

// One pass over the bytes with an explicit stack of open elements, so nesting depth costs heap,
// not call stack. Every position the parser stands on is a character boundary.
class Parser {
 public:
  explicit Parser(Tree& tree) : tree_(tree), s_(tree.bytes) {}

  bool run() {
    reserve();
    while (at_ < s_.size()) {
      if (s_[at_] != '<') {
        at_ = next(at_);  // element text, or text outside the top-level element: ignored
        continue;
      }
      bool ok = false;
      if (starts_with("<!--")) {
        ok = skip_past(at_ + 4, "-->");
      } else if (!open_.empty() && starts_with("<![CDATA[")) {
        ok = skip_past(at_ + 9, "]]>");
      } else if (starts_with("<?") || starts_with("<!")) {
        ok = skip_declaration();
      } else if (starts_with("</")) {
        ok = end_tag();
      } else {
        ok = start_tag();
      }
      if (!ok) {
        return false;
      }
    }
    return open_.empty() && !tree_.elements.empty();
  }

 private:
  struct Open {
    std::uint32_t element;
    std::uint32_t last_child;
  };

  // Reserves room for the most elements and attributes the bytes can hold, so the arrays grow
  // without copying. Every element starts with "<" and a byte other than "/", "!" or "?" and
  // takes at least 4 bytes ("<a/>"); every attribute holds a "=" and takes at least 4 bytes
  // (" a=b"); an open element and its end tag take at least 7 ("<a></a>"). Room never used is
  // never touched.
  void reserve() {
    std::size_t tags = 0;
    for (std::size_t i = 0; i + 1 < s_.size(); ++i) {
      const char c = s_[i + 1];
      tags += s_[i] == '<' && c != '/' && c != '!' && c != '?';
    }
    const auto equals = static_cast<std::size_t>(std::count(s_.begin(), s_.end(), '='));
    tree_.elements.reserve(std::min(tags, s_.size() / 4));
    tree_.attributes.reserve(std::min(equals, s_.size() / 4));
    open_.reserve(std::min(tags, s_.size() / 7));
  }

  std::size_t next(std::size_t i) const { return i + text::char_length(s_, i); }
  bool starts_with(std::string_view marker) const { return s_.substr(at_).starts_with(marker); }
  std::uint32_t offset(std::size_t i) const { return static_cast<std::uint32_t>(i); }
  Span span(std::size_t begin, std::size_t end) const {
    return {offset(begin), offset(end - begin)};
  }

  // Moves past the first `marker` (ASCII) that starts on a character boundary at or after `from`.
  bool skip_past(std::size_t from, std::string_view marker) {
    for (std::size_t i = from; i < s_.size(); i = next(i)) {
      if (s_.substr(i).starts_with(marker)) {
        at_ = i + marker.size();
        return true;
      }
    }
    return false;
  }

  // "<?" or "<!" up to its ">"; a ">" between double quotes does not end it.
  bool skip_declaration() {
    bool quoted = false;
    for (std::size_t i = at_ + 2; i < s_.size(); i = next(i)) {
      if (s_[i] == '"') {
        quoted = !quoted;
      } else if (s_[i] == '>' && !quoted) {
        at_ = i + 1;
        return true;
      }
    }
    return false;
  }

  bool ends_name(std::size_t i) const {
    return is_space(s_[i]) || s_[i] == '>' ||
           (s_[i] == '/' && i + 1 < s_.size() && s_[i + 1] == '>');
  }

  std::size_t skip_space(std::size_t i) const {
    while (i < s_.size() && is_space(s_[i])) {
      ++i;
    }
    return i;
  }

  bool end_tag() {
    const std::size_t begin = at_ + 2;
    std::size_t i = begin;
    while (i < s_.size() && !ends_name(i)) {
      i = next(i);
    }
    const std::string_view name = s_.substr(begin, i - begin);
    i = skip_space(i);
    if (i >= s_.size() || s_[i] != '>') {
      return false;
    }
    if (open_.empty() || tree_.view(tree_.elements[open_.back().element].name) != name) {
      return false;
    }
    open_.pop_back();
    at_ = i + 1;
    return true;
  }

  bool start_tag() {
    const std::size_t name_begin = at_ + 1;
    std::size_t i = name_begin;
    while (i < s_.size() && !ends_name(i)) {
      i = next(i);
    }
    if (i >= s_.size() || i == name_begin) {
      return false;
    }

    Element element;
    element.name = span(name_begin, i);
    element.first_attribute = offset(tree_.attributes.size());
    bool empty_element = false;
    for (;;) {
      const std::size_t after_space = skip_space(i);
      const bool separated = after_space != i;
      i = after_space;
      if (i >= s_.size()) {
        return false;
      }
      if (s_[i] == '>') {
        ++i;
        break;
      }
      if (s_[i] == '/' && i + 1 < s_.size() && s_[i + 1] == '>') {
        i += 2;
        empty_element = true;
        break;
      }
      if (!separated || s_[i] == '"') {
        return false;
      }
      if (!attribute(i)) {
        return false;
      }
    }
    element.attribute_count = offset(tree_.attributes.size()) - element.first_attribute;
    if (has_duplicate(element)) {
      return false;
    }
    add(element, empty_element);
    at_ = i;
    return true;
  }

  // Reads name = value at `i` and moves `i` past the value.
  bool attribute(std::size_t& i) {
    const std::size_t name_begin = i;
    while (i < s_.size() && s_[i] != '=' && !ends_name(i)) {
      i = next(i);
    }
    if (i == name_begin) {
      return false;
    }
    const Span name = span(name_begin, i);
    i = skip_space(i);
    if (i >= s_.size() || s_[i] != '=') {
      return false;
    }
    i = skip_space(i + 1);
    if (i >= s_.size()) {
      return false;
    }
    Span value;
    if (s_[i] == '"') {
      const std::size_t value_begin = i + 1;
      for (i = value_begin; i < s_.size() && s_[i] != '"'; i = next(i)) {
      }
      if (i >= s_.size()) {
        return false;
      }
      value = span(value_begin, i);
      ++i;
    } else {
      const std::size_t value_begin = i;
      while (i < s_.size() && !is_space(s_[i])) {
        i = next(i);
      }
      value = span(value_begin, i);
    }
    tree_.attributes.push_back({name, value});
    return true;
  }

  bool has_duplicate(const Element& element) {
    const auto first = tree_.attributes.begin() + element.first_attribute;
    const auto last = first + element.attribute_count;
    constexpr std::uint32_t kFewAttributes = 8;
    if (element.attribute_count <= kFewAttributes) {
      for (auto a = first; a != last; ++a) {
        for (auto b = first; b != a; ++b) {
          if (tree_.view(a->name) == tree_.view(b->name)) {
            return true;
          }
        }
      }
      return false;
    }
    // Many attributes: sort their names so the check stays O(n log n).
    names_.clear();
    for (auto a = first; a != last; ++a) {
      names_.push_back(tree_.view(a->name));
    }
    std::sort(names_.begin(), names_.end());
    return std::adjacent_find(names_.begin(), names_.end()) != names_.end();
  }

  void add(const Element& element, bool empty_element) {
    const std::uint32_t index = offset(tree_.elements.size());
    tree_.elements.push_back(element);
    if (!open_.empty()) {
      Open& parent = open_.back();
      if (parent.last_child == kNone) {
        tree_.elements[parent.element].first_child = index;
      } else {
        tree_.elements[parent.last_child].next_sibling = index;
      }
      parent.last_child = index;
    }
    if (!empty_element) {
      open_.push_back({index, kNone});
    }
  }

  Tree& tree_;
  std::string_view s_;
  std::size_t at_ = 0;
  std::vector<Open> open_;
  std::vector<std::string_view> names_;  // scratch for the duplicate check
};

// The value with the five references decoded, left to right in one pass.
text::Text decode(std::string_view value) {
  struct Reference {
    std::string_view written;
    char means;
  };
  static constexpr Reference kReferences[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quote;", '"'}};
  text::Text out;
  out.reserve(value.size());
  std::size_t i = 0;
  while (i < value.size()) {
    if (value[i] == '&') {
      const std::string_view rest = value.substr(i);
      const auto* ref =
          std::find_if(std::begin(kReferences), std::end(kReferences),
                       [&](const Reference& r) { return rest.starts_with(r.written); });
      if (ref != std::end(kReferences)) {
        out.push_back(ref->means);
        i += ref->written.size();
        continue;
      }
    }
    const std::size_t length = text::char_length(value, i);
    out.append(value.substr(i, length));
    i += length;
  }
  return out;
}

// The path component that starts at `at`, moving `at` past it and its "/" (npos after the last).
std::string_view next_component(std::string_view path, std::size_t& at) {
  const std::size_t begin = at;
  std::size_t i = begin;
  while (i < path.size() && path[i] != '/') {
    i += text::char_length(path, i);
  }
  at = i < path.size() ? i + 1 : std::string_view::npos;
  return path.substr(begin, i - begin);
}

}  // namespace

Document::Document() = default;
Document::~Document() = default;

bool load(Document& doc, std::string_view bytes) {
  doc.tree_.reset();
  if (bytes.empty() || bytes.size() >= kNone) {
    return false;
  }
  auto tree = std::make_unique<Tree>();
  tree->bytes.assign(bytes);
  try {
    if (!Parser(*tree).run()) {
      return false;
    }
  } catch (const std::bad_alloc&) {
    return false;  // a document too large to hold is not read
  }
  // Bytes that looked like markup but were not (text, comments, values) leave unused room.
  if (tree->elements.capacity() / 2 > tree->elements.size()) {
    tree->elements.shrink_to_fit();
  }
  if (tree->attributes.capacity() / 2 > tree->attributes.size()) {
    tree->attributes.shrink_to_fit();
  }
  doc.tree_ = std::move(tree);
  return true;
}

text::Text read_attribute(const Document& doc, std::string_view path, std::string_view name) {
  if (!doc.tree_ || path.empty() || name.empty()) {
    return {};
  }
  const Tree& tree = *doc.tree_;
  std::size_t at = 0;
  if (next_component(path, at) != tree.view(tree.elements[0].name)) {
    return {};
  }
  std::uint32_t element = 0;
  while (at != std::string_view::npos) {
    const std::string_view component = next_component(path, at);
    std::uint32_t child = tree.elements[element].first_child;
    while (child != kNone && tree.view(tree.elements[child].name) != component) {
      child = tree.elements[child].next_sibling;
    }
    if (child == kNone) {
      return {};
    }
    element = child;
  }
  const Element& found = tree.elements[element];
  for (std::uint32_t a = 0; a < found.attribute_count; ++a) {
    const Attribute& attribute = tree.attributes[found.first_attribute + a];
    if (tree.view(attribute.name) == name) {
      return decode(tree.view(attribute.value));
    }
  }
  return {};
}

void release(Document& doc) {
  doc.tree_.reset();
}

}  // namespace pelorin::xml
