#include "host/fake/fake_filter.h"

#include <vector>

#include "host/ole_date.h"
#include "host/utf.h"

namespace host::fake {

enum class Property { UnRead, ReceivedTime, Subject };
enum class Op { Eq, Ne, Lt, Gt, Le, Ge };

struct ItemFilter::Node {
    enum class Kind { And, Or, Not, Compare } kind = Kind::Compare;
    std::shared_ptr<const Node> left;
    std::shared_ptr<const Node> right;  // And, Or
    Property property = Property::UnRead;
    Op op = Op::Eq;
    bool boolValue = false;
    double dateValue = 0;
    std::u16string textValue;
};

namespace {

using Node = ItemFilter::Node;
using NodePtr = std::shared_ptr<const Node>;

// Recursive descent over the filter text; any surprise is a refusal.
class Parser {
public:
    explicit Parser(std::u16string_view text) noexcept : m_text(text) {}

    NodePtr Whole()
    {
        NodePtr root = Or();
        Blanks();
        return root && m_pos == m_text.size() ? root : nullptr;
    }

private:
    void Blanks() noexcept
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == u' ' || m_text[m_pos] == u'\t')) ++m_pos;
    }
    // The keyword, followed by a blank, an opening parenthesis or a bracket.
    bool Keyword(std::u16string_view word) noexcept
    {
        Blanks();
        if (m_text.size() - m_pos < word.size() || !host::EqualNoCase(m_text.substr(m_pos, word.size()), word)) return false;
        const std::size_t after = m_pos + word.size();
        if (after < m_text.size() && m_text[after] != u' ' && m_text[after] != u'(' && m_text[after] != u'[')
            return false;
        m_pos = after;
        return true;
    }
    static NodePtr Join(Node::Kind kind, NodePtr left, NodePtr right)
    {
        auto node = std::make_shared<Node>();
        node->kind = kind;
        node->left = std::move(left);
        node->right = std::move(right);
        return node;
    }
    NodePtr Or()
    {
        NodePtr left = And();
        while (left && Keyword(u"OR")) {
            NodePtr right = And();
            if (!right) return nullptr;
            left = Join(Node::Kind::Or, left, right);
        }
        return left;
    }
    NodePtr And()
    {
        NodePtr left = Factor();
        while (left && Keyword(u"AND")) {
            NodePtr right = Factor();
            if (!right) return nullptr;
            left = Join(Node::Kind::And, left, right);
        }
        return left;
    }
    NodePtr Factor()
    {
        if (Keyword(u"NOT")) {
            NodePtr inner = Factor();
            return inner ? Join(Node::Kind::Not, inner, nullptr) : nullptr;
        }
        Blanks();
        if (m_pos < m_text.size() && m_text[m_pos] == u'(') {
            ++m_pos;
            NodePtr inner = Or();
            Blanks();
            if (!inner || m_pos >= m_text.size() || m_text[m_pos] != u')') return nullptr;
            ++m_pos;
            return inner;
        }
        return Compare();
    }
    NodePtr Compare()
    {
        Blanks();
        if (m_pos >= m_text.size() || m_text[m_pos] != u'[') return nullptr;
        const std::size_t close = m_text.find(u']', m_pos);
        if (close == std::u16string_view::npos) return nullptr;
        const std::u16string_view name = m_text.substr(m_pos + 1, close - m_pos - 1);
        m_pos = close + 1;
        auto node = std::make_shared<Node>();
        if (host::EqualNoCase(name, u"UnRead")) {
            node->property = Property::UnRead;
        } else if (host::EqualNoCase(name, u"ReceivedTime")) {
            node->property = Property::ReceivedTime;
        } else if (host::EqualNoCase(name, u"Subject")) {
            node->property = Property::Subject;
        } else {
            return nullptr;  // EntryID, Body and the like cannot be filtered on
        }
        if (!Operator(node->op)) return nullptr;
        Blanks();
        switch (node->property) {
            case Property::UnRead:
                if (node->op != Op::Eq && node->op != Op::Ne) return nullptr;
                if (Keyword(u"True")) {
                    node->boolValue = true;
                } else if (!Keyword(u"False")) {
                    return nullptr;
                }
                break;
            case Property::ReceivedTime: {
                const auto text = Quoted();
                const auto date = text ? ParseFilterDate(*text) : std::nullopt;
                if (!date) return nullptr;
                node->dateValue = *date;
                break;
            }
            case Property::Subject: {
                if (node->op != Op::Eq && node->op != Op::Ne) return nullptr;
                const auto text = Quoted();
                if (!text) return nullptr;
                node->textValue = *text;
                break;
            }
        }
        return node;
    }
    bool Operator(Op& op) noexcept
    {
        Blanks();
        static constexpr std::pair<std::u16string_view, Op> kOps[] = {
            {u"<>", Op::Ne}, {u"<=", Op::Le}, {u">=", Op::Ge}, {u"=", Op::Eq}, {u"<", Op::Lt}, {u">", Op::Gt}};
        for (const auto& [text, value] : kOps) {
            if (m_text.substr(m_pos, text.size()) == text) {
                m_pos += text.size();
                op = value;
                return true;
            }
        }
        return false;
    }
    std::optional<std::u16string> Quoted()
    {
        if (m_pos >= m_text.size() || (m_text[m_pos] != u'\'' && m_text[m_pos] != u'"')) return std::nullopt;
        const char16_t quote = m_text[m_pos];
        const std::size_t end = m_text.find(quote, m_pos + 1);
        if (end == std::u16string_view::npos) return std::nullopt;
        std::u16string value(m_text.substr(m_pos + 1, end - m_pos - 1));
        m_pos = end + 1;
        return value;
    }

    std::u16string_view m_text;
    std::size_t m_pos = 0;
};

template <class T>
bool Holds(Op op, const T& a, const T& b)
{
    switch (op) {
        case Op::Eq: return a == b;
        case Op::Ne: return a != b;
        case Op::Lt: return a < b;
        case Op::Gt: return a > b;
        case Op::Le: return a <= b;
        case Op::Ge: return a >= b;
    }
    return false;
}

bool Evaluate(const Node& node, const Message& m)
{
    switch (node.kind) {
        case Node::Kind::And: return Evaluate(*node.left, m) && Evaluate(*node.right, m);
        case Node::Kind::Or: return Evaluate(*node.left, m) || Evaluate(*node.right, m);
        case Node::Kind::Not: return !Evaluate(*node.left, m);
        case Node::Kind::Compare: break;
    }
    switch (node.property) {
        case Property::UnRead: return Holds(node.op, m.unRead == kVariantTrue, node.boolValue);
        case Property::ReceivedTime: return m.receivedTime && Holds(node.op, *m.receivedTime, node.dateValue);
        case Property::Subject: return host::EqualNoCase(m.subject, node.textValue) == (node.op == Op::Eq);
    }
    return false;
}

}  // namespace

std::optional<ItemFilter> ItemFilter::Parse(std::u16string_view filter)
{
    NodePtr root = Parser(filter).Whole();
    if (!root) return std::nullopt;
    return ItemFilter(std::move(root));
}

bool ItemFilter::Admits(const Message& message) const
{
    return Evaluate(*m_root, message);
}

}  // namespace host::fake
