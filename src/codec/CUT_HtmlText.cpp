// SPDX-License-Identifier: GPL-3.0-or-later
#include "CUT_HtmlText.h"

#include <gumbo.h>

namespace {

bool IsBlock(GumboTag tag) {
    switch (tag) {
    case GUMBO_TAG_P: case GUMBO_TAG_DIV: case GUMBO_TAG_BR: case GUMBO_TAG_LI:
    case GUMBO_TAG_TR: case GUMBO_TAG_TABLE: case GUMBO_TAG_UL: case GUMBO_TAG_OL:
    case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4:
    case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_PRE:
    case GUMBO_TAG_HR: case GUMBO_TAG_SECTION: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER: case GUMBO_TAG_DL: case GUMBO_TAG_DT: case GUMBO_TAG_DD:
    case GUMBO_TAG_CENTER: case GUMBO_TAG_ADDRESS: case GUMBO_TAG_BODY:
        return true;
    default:
        return false;
    }
}

bool IsHidden(GumboTag tag) {
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_HEAD ||
           tag == GUMBO_TAG_TITLE || tag == GUMBO_TAG_NOSCRIPT || tag == GUMBO_TAG_TEMPLATE;
}

class Collector {
public:
    void Text(const char *text) {
        for (const char *c = text; *c != '\0'; ++c) {
            const bool blank = *c == ' ' || *c == '\t' || *c == '\n' || *c == '\r' || *c == '\f';
            if (blank) {
                m_pendingBlank = true;
                continue;
            }
            if (m_pendingBlank && !m_out.empty() && m_out.back() != '\n') m_out += ' ';
            m_pendingBlank = false;
            m_out += *c;
        }
    }
    void Break() {
        m_pendingBlank = false;
        if (!m_out.empty() && m_out.back() != '\n') m_out += '\n';
    }
    void Walk(const GumboNode *node, int depth) {
        // A hostile document cannot take the stack with it.
        if (depth > 200) return;
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA) {
            Text(node->v.text.text);
            return;
        }
        if (node->type == GUMBO_NODE_WHITESPACE) {
            m_pendingBlank = true;
            return;
        }
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT) return;
        const GumboVector *children = node->type == GUMBO_NODE_ELEMENT ? &node->v.element.children
                                                                        : &node->v.document.children;
        const GumboTag tag = node->type == GUMBO_NODE_ELEMENT ? node->v.element.tag : GUMBO_TAG_UNKNOWN;
        if (IsHidden(tag)) return;
        const bool block = IsBlock(tag);
        if (block) Break();
        for (unsigned i = 0; i < children->length; ++i)
            Walk(static_cast<const GumboNode *>(children->data[i]), depth + 1);
        if (block) Break();
        if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH) m_pendingBlank = true;
    }
    std::string &Out() { return m_out; }

private:
    std::string m_out;
    bool m_pendingBlank = false;
};

}  // namespace

std::string CUT_HtmlText::ToText(const std::string &html) {
    GumboOutput *output =
        gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    if (output == nullptr) return {};
    Collector collector;
    collector.Walk(output->document, 0);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    std::string text = std::move(collector.Out());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}
