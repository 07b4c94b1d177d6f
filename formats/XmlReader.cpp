#include "XmlReader.h"

#include "FileDamaged.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::string_view View(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void Silent(void*, const char*, ...) {}

// libxml2 is set up once, and never writes to stderr on its own.
void InitLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, Silent);
    });
}

}  // namespace

struct XmlReader::State {
    State(Handler& h, int most, Wording w) : handler(h), maxDepth(most), wording(std::move(w)) {}

    Handler& handler;
    int maxDepth;
    Wording wording;
    int depth = 0;
    xmlParserCtxtPtr context = nullptr;
    bool finishing = false;
    std::exception_ptr failure;  // what a callback threw, thrown again once libxml2 returned
    QString fault;               // the first fault libxml2 or a callback found
    std::vector<Attribute> attributes;
    std::deque<std::string> values;  // the values that had to be read again

    int Line() const { return context ? xmlSAX2GetLineNumber(context) : 0; }

    void Stop(const QString& reason) {
        if (fault.isEmpty()) fault = QStringLiteral("Zeile %1: %2").arg(Line()).arg(reason);
        xmlStopParser(context);
    }

    template <typename Action>
    void Guarded(Action action) {
        if (failure || !fault.isEmpty()) return;
        try {
            action();
        } catch (...) {
            failure = std::current_exception();
            xmlStopParser(context);
        }
    }

    static State& Of(void* data) { return *static_cast<State*>(data); }

    static void StartElement(void* data, const xmlChar* name, const xmlChar*, const xmlChar* ns,
                             int, const xmlChar**, int count, int, const xmlChar** values) {
        State& state = Of(data);
        if (++state.depth > state.maxDepth) {
            state.Stop(QStringLiteral("mehr als %1 Ebenen geschachtelt").arg(state.maxDepth));
            return;
        }
        state.attributes.clear();
        state.values.clear();
        // Five pointers an attribute: local name, prefix, URI, value, end of value.
        for (int i = 0; i < count; ++i) {
            const xmlChar* const* attribute = values + 5 * i;
            const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                         static_cast<size_t>(attribute[4] - attribute[3]));
            state.attributes.push_back({View(attribute[0]), value});
            // libxml2 hands an ampersand in a value on as "&#38;", as it does
            // not replace entities: it is read here.
            if (value.find("&#38;") == std::string_view::npos) continue;
            std::string& decoded = state.values.emplace_back();
            for (size_t at = 0;;) {
                const size_t amp = value.find("&#38;", at);
                decoded += value.substr(at, amp - at);
                if (amp == std::string_view::npos) break;
                decoded += '&';
                at = amp + 5;
            }
            state.attributes.back().value = decoded;
        }
        state.Guarded([&] {
            state.handler.StartElement(View(name), View(ns), state.attributes.data(),
                                       state.attributes.size());
        });
    }

    static void EndElement(void* data, const xmlChar* name, const xmlChar*, const xmlChar*) {
        State& state = Of(data);
        --state.depth;
        state.Guarded([&] { state.handler.EndElement(View(name)); });
    }

    static void Characters(void* data, const xmlChar* text, int length) {
        State& state = Of(data);
        state.Guarded([&] {
            state.handler.Text(
                std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
        });
    }

    // A document type declaration: refused before anything of it is read.
    static void InternalSubset(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
        Of(data).Stop(Of(data).wording.dtd);
    }

    static void Error(void* data, xmlErrorPtr error) {
        State& state = Of(data);
        if (!state.fault.isEmpty() || state.failure || error->level < XML_ERR_ERROR) return;
        QString reason = QStringLiteral("fehlerhaftes XML");
        if (state.finishing) reason = state.wording.endsEarly;
        if (error->code == XML_ERR_UNDECLARED_ENTITY || error->code == XML_WAR_UNDECLARED_ENTITY)
            reason = QStringLiteral("eine unbekannte Entität");
        if (error->code == XML_ERR_INVALID_CHAR || error->code == XML_ERR_INVALID_ENCODING)
            reason = QStringLiteral("ein Zeichen, das die Kodierung der Datei nicht kennt");
        state.fault = QStringLiteral("Zeile %1: %2").arg(error->line).arg(reason);
    }
};

XmlReader::XmlReader(Handler& handler, int maxDepth) : XmlReader(handler, maxDepth, Wording()) {}

XmlReader::XmlReader(Handler& handler, int maxDepth, Wording wording)
    : state_(std::make_unique<State>(handler, maxDepth, std::move(wording))) {
    InitLibxml();
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = State::StartElement;
    sax.endElementNs = State::EndElement;
    sax.characters = State::Characters;
    sax.cdataBlock = State::Characters;
    sax.internalSubset = State::InternalSubset;
    sax.serror = State::Error;
    state_->context = xmlCreatePushParserCtxt(&sax, state_.get(), nullptr, 0, nullptr);
    if (!state_->context) throw std::bad_alloc();
    // Nothing from the network, no external DTD, entities not replaced.
    xmlCtxtUseOptions(state_->context, XML_PARSE_NONET);
}

XmlReader::~XmlReader() {
    if (state_->context) xmlFreeParserCtxt(state_->context);
}

int XmlReader::Line() const { return state_->Line(); }

void XmlReader::Fail(const QString& reason) const {
    throw FileDamaged{QStringLiteral("Zeile %1: %2").arg(Line()).arg(reason)};
}

void XmlReader::Feed(const char* data, size_t size) {
    State& state = *state_;
    // The parser takes an int; pieces beyond it go in turns.
    for (size_t done = 0; done < size || (size == 0 && done == 0 && state.finishing);) {
        const int piece = static_cast<int>(std::min<size_t>(size - done, 1 << 30));
        const int rc = xmlParseChunk(state.context, data + done, piece, state.finishing ? 1 : 0);
        done += static_cast<size_t>(piece);
        if (state.failure) std::rethrow_exception(state.failure);
        if (!state.fault.isEmpty()) throw FileDamaged{state.fault};
        if (rc != 0 || !state.context->wellFormed)
            throw FileDamaged{QStringLiteral("Zeile %1: fehlerhaftes XML").arg(Line())};
        if (size == 0) break;
    }
}

void XmlReader::Finish() {
    state_->finishing = true;
    Feed(nullptr, 0);
    if (state_->depth != 0 || !state_->context->wellFormed)
        throw FileDamaged{
            QStringLiteral("Zeile %1: %2").arg(Line()).arg(state_->wording.endsEarly)};
}

std::string_view XmlReader::Value(const Attribute* attributes, size_t count,
                                  std::string_view name) {
    for (size_t i = 0; i < count; ++i)
        if (attributes[i].name == name) return attributes[i].value;
    return {};
}
