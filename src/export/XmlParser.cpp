#include "export/XmlParser.h"

#include <cstring>
#include <limits>
#include <new>

#include <expat.h>

namespace rasmik {

namespace {

constexpr char NamespaceSeparator = '|';

XML_Parser P(void* parser)
{
    return static_cast<XML_Parser>(parser);
}

} // namespace

XmlName SplitXmlName(const char* name)
{
    // One pass: the last separator or prefix colon ends the namespace.
    const char* local = name;
    const char* bar = nullptr;
    const char* p = name;
    for (; *p; ++p) {
        if (*p == NamespaceSeparator) {
            bar = p;
            local = p + 1;
        } else if (*p == ':' && !bar) {
            local = p + 1;
        }
    }
    // A URI holds colons of its own: with a separator, only it counts.
    if (bar)
        local = bar + 1;
    return {bar ? std::string_view(name, static_cast<std::size_t>(bar - name)) : std::string_view(),
            std::string_view(local, static_cast<std::size_t>(p - local))};
}

const char* XmlAttribute(const char** attributes, std::string_view local)
{
    for (const char** a = attributes; a && *a; a += 2) {
        if (SplitXmlName(a[0]).local == local)
            return a[1];
    }
    return nullptr;
}

XmlParser::XmlParser(XmlHandler& handler, bool namespaces) : handler_(handler)
{
    XML_Parser p = namespaces ? XML_ParserCreateNS("UTF-8", NamespaceSeparator) : XML_ParserCreate("UTF-8");
    if (!p)
        throw std::bad_alloc();
    parser_ = p;
    XML_SetUserData(p, this);
    XML_SetElementHandler(p, &XmlParser::OnStart, &XmlParser::OnEnd);
    XML_SetCharacterDataHandler(p, &XmlParser::OnText);
    XML_SetStartDoctypeDeclHandler(p, &XmlParser::OnDoctype);
    XML_SetEntityDeclHandler(p, &XmlParser::OnEntity);
    // Never fetch or read an external DTD or entity.
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlParser::~XmlParser()
{
    XML_ParserFree(P(parser_));
}

void XmlParser::stop()
{
    if (outcome_ == Outcome::Ok)
        outcome_ = Outcome::Stopped;
    XML_StopParser(P(parser_), XML_FALSE);
}

bool XmlParser::feed(const char* data, std::size_t size, bool last)
{
    if (outcome_ != Outcome::Ok)
        return false;
    while (size > 0 || last) {
        const std::size_t n = std::min<std::size_t>(size, std::numeric_limits<int>::max() / 2);
        const bool final = last && n == size;
        if (XML_Parse(P(parser_), data, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            if (outcome_ == Outcome::Ok) {
                const XML_Error code = XML_GetErrorCode(P(parser_));
                if (code == XML_ERROR_NO_MEMORY)
                    throw std::bad_alloc();
                outcome_ = Outcome::Malformed;
                error_ = std::string(XML_ErrorString(code)) + " at line "
                    + std::to_string(XML_GetCurrentLineNumber(P(parser_))) + ", column "
                    + std::to_string(XML_GetCurrentColumnNumber(P(parser_)));
            }
            return false;
        }
        if (outcome_ != Outcome::Ok)
            return false;
        data += n;
        size -= n;
        if (final)
            break;
    }
    return true;
}

void XmlParser::OnStart(void* self, const char* name, const char** attributes)
{
    auto* me = static_cast<XmlParser*>(self);
    if (me->outcome_ == Outcome::Ok)
        me->handler_.startElement(name, attributes);
}

void XmlParser::OnEnd(void* self, const char* name)
{
    auto* me = static_cast<XmlParser*>(self);
    if (me->outcome_ == Outcome::Ok)
        me->handler_.endElement(name);
}

void XmlParser::OnText(void* self, const char* data, int size)
{
    auto* me = static_cast<XmlParser*>(self);
    if (me->outcome_ == Outcome::Ok)
        me->handler_.text(data, size);
}

void XmlParser::OnDoctype(void* self, const char*, const char*, const char*, int)
{
    auto* me = static_cast<XmlParser*>(self);
    me->outcome_ = Outcome::Declarations;
    XML_StopParser(P(me->parser_), XML_FALSE);
}

void XmlParser::OnEntity(void* self, const char*, int, const char*, int, const char*, const char*, const char*,
                         const char*)
{
    auto* me = static_cast<XmlParser*>(self);
    me->outcome_ = Outcome::Declarations;
    XML_StopParser(P(me->parser_), XML_FALSE);
}

} // namespace rasmik
