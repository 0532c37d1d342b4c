#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <functional>
#include <memory>

#include "platform/Accessibility.h"

// One element of a simulated accessibility tree. Thread-safe: every accessor locks the element, so a
// worker thread may read the tree while the main thread changes it. Attributes hold strings, other
// elements or element lists; "AXChildren" is kept separately as the child list.
class SimAXElement final : public AXElementHandle, public std::enable_shared_from_this<SimAXElement> {
public:
    using PressHandler = std::function<void(SimAXElement&)>;

    static std::shared_ptr<SimAXElement> make(const QString& role, const QString& title = QString(),
                                              const QString& description = QString());

    // Attributes. A string attribute set to a null QString is absent.
    void setString(const QString& attribute, const QString& value);
    void setElement(const QString& attribute, const std::shared_ptr<SimAXElement>& element);
    void setElements(const QString& attribute, const QList<std::shared_ptr<SimAXElement>>& elements);
    // Makes the attribute answer with a value that is neither string nor element (a number, say).
    void setOtherValue(const QString& attribute);
    void removeAttribute(const QString& attribute);
    // Makes every read of `attribute` fail with `error`.
    void setAttributeError(const QString& attribute, AXError error);

    // Convenience for the common string attributes.
    QString role() const;
    QString title() const;
    QString description() const;

    // Children ("AXChildren"). add returns the child for chaining.
    std::shared_ptr<SimAXElement> addChild(const std::shared_ptr<SimAXElement>& child);
    void setChildren(const QList<std::shared_ptr<SimAXElement>>& children);
    QList<std::shared_ptr<SimAXElement>> children() const;
    void removeAllChildren();

    // The value a read of `attribute` gives.
    AXResult read(const QString& attribute) const;

    // "AXPress": counts the press and calls the handler (outside the lock).
    void setPressHandler(PressHandler handler);
    AXError press();
    int pressCount() const;

private:
    SimAXElement() = default;

    mutable QMutex m_mutex;
    QMap<QString, AXValue> m_attributes;
    QMap<QString, AXError> m_errors;
    QList<std::shared_ptr<SimAXElement>> m_children;
    bool m_childrenSet = false;
    PressHandler m_onPress;
    int m_pressCount = 0;
};
