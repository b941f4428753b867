#include "CXlsFormat.h"

#include <cstring>

namespace {

template <typename T>
void AppendRaw(std::string& key, const T& value)
{
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    key.append(bytes, sizeof(T));
}

void AppendText(std::string& key, const std::string& text)
{
    AppendRaw(key, static_cast<uint32_t>(text.size()));   // length first: no ambiguity
    key.append(text);
}

}  // namespace

void CXlsFormat::SetBorder(EXlsLine line, uint32_t colour)
{
    for (SEdge& edge : m_aEdge) {
        edge.m_eLine = line;
        edge.m_clrLine = colour;
    }
}

std::string CXlsFormat::Key() const
{
    std::string key;
    key.reserve(96);
    AppendText(key, m_strFontName);
    // +0.0 so that -0.0 and 0.0 give the same bytes.
    AppendRaw(key, m_dFontPoints + 0.0);
    AppendRaw(key, static_cast<uint8_t>((m_bBold ? 1 : 0) | (m_bItalic ? 2 : 0) |
                                        (m_bUnderline ? 4 : 0) | (m_bWrap ? 8 : 0)));
    AppendRaw(key, NormaliseColour(m_clrFont));
    AppendRaw(key, NormaliseColour(m_clrFill));
    for (const SEdge& edge : m_aEdge) {
        AppendRaw(key, static_cast<uint8_t>(edge.m_eLine));
        // The colour of an absent line does not show.
        AppendRaw(key, edge.m_eLine == EXlsLine::None ? kXlsAutoColour
                                                        : NormaliseColour(edge.m_clrLine));
    }
    AppendRaw(key, static_cast<uint8_t>(m_eHAlign));
    AppendRaw(key, static_cast<uint8_t>(m_eVAlign));
    AppendText(key, m_strNumberFormat);
    return key;
}
