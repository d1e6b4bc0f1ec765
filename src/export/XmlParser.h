#pragma once
// A streaming XML parser over expat that never reads a DTD: a document
// that declares one stops with XmlDeclarations, so no entity is ever
// declared, let alone expanded.

#include <cstddef>
#include <string>
#include <string_view>

namespace rasmik {

// An element's name split at its namespace: with namespaces on, expat names
// an element "uri|local"; without a namespace it is just "local"; with
// namespaces off a prefix is dropped ("x:row" is "row").
struct XmlName {
    std::string_view uri;
    std::string_view local;
};
XmlName SplitXmlName(const char* name);

// The value of the attribute local (in any namespace, or none) of an element,
// from expat's list of names and values; null when missing.
const char* XmlAttribute(const char** attributes, std::string_view local);

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(const char* name, const char** attributes) = 0;
    virtual void endElement(const char* name) = 0;
    virtual void text(const char* data, int size) = 0;
};

class XmlParser {
public:
    enum class Outcome { Ok, Malformed, Declarations, Stopped };

    // Without namespaces the parse is faster, for the large parts whose
    // names are matched by their local part alone.
    explicit XmlParser(XmlHandler& handler, bool namespaces = true);
    ~XmlParser();
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Parses the next piece; last when it is the end of the document. False
    // once the document failed (see outcome()).
    bool feed(const char* data, std::size_t size, bool last);
    // A handler ends the parse early, for its own reason.
    void stop();
    Outcome outcome() const { return outcome_; }
    // Expat's words and the place, for Malformed.
    const std::string& error() const { return error_; }

private:
    static void OnStart(void* self, const char* name, const char** attributes);
    static void OnEnd(void* self, const char* name);
    static void OnText(void* self, const char* data, int size);
    static void OnDoctype(void* self, const char*, const char*, const char*, int);
    static void OnEntity(void* self, const char*, int, const char*, int, const char*, const char*, const char*,
                         const char*);

    XmlHandler& handler_;
    void* parser_ = nullptr;
    Outcome outcome_ = Outcome::Ok;
    std::string error_;
};

} // namespace rasmik
