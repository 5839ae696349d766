#include "roster/XmlReader.h"

#include <expat.h>

#include <climits>

namespace roster {

std::string_view LocalName(std::string_view qualified) {
    const std::size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

std::string_view XmlAttributes::get(std::string_view localName) const {
    for (const char** p = mPairs; p && p[0]; p += 2)
        if (LocalName(p[0]) == localName)
            return p[1];
    return {};
}

struct XmlReader::Impl {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;

    static void Start(void* data, const XML_Char* name, const XML_Char** attrs) {
        auto* self = static_cast<Impl*>(data);
        self->handler->start(LocalName(name), XmlAttributes(attrs));
        self->stopWhenAsked();
    }
    static void End(void* data, const XML_Char* name) {
        auto* self = static_cast<Impl*>(data);
        self->handler->end(LocalName(name));
        self->stopWhenAsked();
    }
    static void Text(void* data, const XML_Char* s, int len) {
        auto* self = static_cast<Impl*>(data);
        self->handler->text(std::string_view(s, static_cast<std::size_t>(len)));
        self->stopWhenAsked();
    }
    void stopWhenAsked() {
        if (!stopped && !handler->problem().empty()) {
            stopped = true;
            XML_StopParser(parser, XML_FALSE);
        }
    }
    bool stopped = false;
};

XmlReader::XmlReader(XmlHandler& handler) : mImpl(std::make_unique<Impl>()) {
    mImpl->handler = &handler;
    mImpl->parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(mImpl->parser, mImpl.get());
    XML_SetElementHandler(mImpl->parser, &Impl::Start, &Impl::End);
    XML_SetCharacterDataHandler(mImpl->parser, &Impl::Text);
}

XmlReader::~XmlReader() {
    XML_ParserFree(mImpl->parser);
}

bool XmlReader::feed(const char* data, std::size_t n, bool last) {
    if (mImpl->stopped)
        return false;
    while (n > static_cast<std::size_t>(INT_MAX)) {
        if (XML_Parse(mImpl->parser, data, INT_MAX, XML_FALSE) != XML_STATUS_OK)
            return false;
        data += INT_MAX;
        n -= static_cast<std::size_t>(INT_MAX);
    }
    return XML_Parse(mImpl->parser, data, static_cast<int>(n), last ? XML_TRUE : XML_FALSE) ==
           XML_STATUS_OK;
}

std::string XmlReader::error() const {
    return std::string(XML_ErrorString(XML_GetErrorCode(mImpl->parser))) + ", line " +
           std::to_string(XML_GetCurrentLineNumber(mImpl->parser));
}

} // namespace roster
