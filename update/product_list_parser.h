// The update document as the manual check reads it: XML in which start
// tags named "product" carry the attributes "name" and "version", e.g.
//
//   <products>
//     <product name="Velmora Quillbrook" version="1.0.0.23"/>
//   </products>
//
// Character data, other elements and other attributes are ignored.
#pragma once

#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace qb::update {

// What one manual check has learned so far. Each check owns its own.
struct ManualCheckState {
    std::string productName;        // the entry to look for
    std::string programVersion;     // the running version
    std::string advertisedVersion;  // "version" of the matching entry
    bool found = false;             // the matching entry has been seen
    bool newer = false;             // its version is newer than ours
};

// A state for this program: its product name and version, nothing found.
ManualCheckState NewManualCheckState();

// An expat parser that feeds the start tags of the document, piece by
// piece, into one check's state. Once the matching entry has been found
// every later tag is ignored. Only "product" tags count: a "name" equal to
// the product name marks the entry as found, and that entry's "version" is
// stored and compared with the program version (IsNewerVersion). The two
// attributes may come in either order.
class ProductListParser {
public:
    explicit ProductListParser(ManualCheckState& state);
    ~ProductListParser();
    ProductListParser(const ProductListParser&) = delete;
    ProductListParser& operator=(const ProductListParser&) = delete;

    // Parses the next piece of the document. On a parse error writes
    // "<expat's error text> at line <n> \n" to the standard error output
    // and returns false; reading should stop there, and every later call
    // returns false without writing again.
    bool Feed(std::string_view piece);
    // Tells the parser that the document has ended (an empty final piece);
    // a document that ends early is a parse error as above.
    bool Finish();

private:
    bool Parse(const char* data, int size, bool final);

    XML_ParserStruct* parser_;
    bool failed_ = false;
};

}  // namespace qb::update
