#pragma once

#include <QDomElement>

// The child elements of an element that have one tag name, in document order, for a range
// loop: for (const QDomElement &file : childElements(project, QStringLiteral("FILE"))).
class XmlChildren
{
public:
    class Iterator
    {
    public:
        Iterator(const QDomElement &element, const QString &tagName)
            : m_element(element)
            , m_tagName(tagName)
        {}
        const QDomElement &operator*() const { return m_element; }
        Iterator &operator++()
        {
            m_element = m_element.nextSiblingElement(m_tagName);
            return *this;
        }
        bool operator!=(const Iterator &other) const { return m_element != other.m_element; }

    private:
        QDomElement m_element;
        QString m_tagName;
    };

    XmlChildren(const QDomElement &parent, const QString &tagName)
        : m_parent(parent)
        , m_tagName(tagName)
    {}
    Iterator begin() const { return Iterator(m_parent.firstChildElement(m_tagName), m_tagName); }
    Iterator end() const { return Iterator(QDomElement(), m_tagName); }

private:
    QDomElement m_parent;
    QString m_tagName;
};

inline XmlChildren childElements(const QDomElement &parent, const QString &tagName)
{
    return XmlChildren(parent, tagName);
}
