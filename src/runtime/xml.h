// The document service: a strict reader of small GBK XML documents (the update manifest) and the
// lookup of one attribute by an element path.
//
// The reader is iterative (no recursion, so nesting depth cannot overflow the stack) and runs in
// time and memory linear in the input. A document is either accepted whole or rejected whole; a
// rejected document answers every lookup with the empty text.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/text.h"

namespace pelorin::xml {

struct Tree;  // the parsed elements; defined in xml.cpp

class Document {
 public:
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  bool loaded() const { return tree_ != nullptr; }

 private:
  friend bool load(Document&, std::string_view);
  friend text::Text read_attribute(const Document&, std::string_view, std::string_view);
  friend void release(Document&);
  std::unique_ptr<Tree> tree_;
};

// Parses `bytes` into `doc`, replacing what it held. Returns whether the document was accepted;
// a rejected or empty input leaves the document empty.
bool load(Document& doc, std::string_view bytes);

// The decoded value of attribute `name` of the element reached by `path` (names separated by
// "/", the first naming the top-level element, each further one the first child of that name).
// Empty when the document is empty, the path or name is empty, or nothing matches.
text::Text read_attribute(const Document& doc, std::string_view path, std::string_view name);

// Frees a loaded tree; an empty document stays as it is.
void release(Document& doc);

}  // namespace pelorin::xml
