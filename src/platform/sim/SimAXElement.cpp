#include "platform/sim/SimAXElement.h"

#include <QMutexLocker>

namespace {

const QString kChildren = QStringLiteral("AXChildren");
const QString kRole = QStringLiteral("AXRole");
const QString kTitle = QStringLiteral("AXTitle");
const QString kDescription = QStringLiteral("AXDescription");

}  // namespace

std::shared_ptr<SimAXElement> SimAXElement::make(const QString& role, const QString& title,
                                                 const QString& description) {
    // The constructor is private, so make_shared cannot reach it.
    std::shared_ptr<SimAXElement> element(new SimAXElement());
    // Every element answers "AXChildren" (possibly with an empty list) until that attribute is removed.
    element->m_childrenSet = true;
    element->setString(kRole, role);
    element->setString(kTitle, title);
    element->setString(kDescription, description);
    return element;
}

void SimAXElement::setString(const QString& attribute, const QString& value) {
    if (value.isNull()) {
        removeAttribute(attribute);
        return;
    }
    QMutexLocker lock(&m_mutex);
    m_attributes.insert(attribute, AXValue::ofString(value));
}

void SimAXElement::setElement(const QString& attribute, const std::shared_ptr<SimAXElement>& element) {
    if (!element) {
        removeAttribute(attribute);
        return;
    }
    QMutexLocker lock(&m_mutex);
    m_attributes.insert(attribute, AXValue::ofElement(element));
}

void SimAXElement::setElements(const QString& attribute, const QList<std::shared_ptr<SimAXElement>>& elements) {
    if (attribute == kChildren) {
        setChildren(elements);
        return;
    }
    QList<AXElement> list;
    list.reserve(elements.size());
    for (const auto& e : elements) {
        list.append(e);
    }
    QMutexLocker lock(&m_mutex);
    m_attributes.insert(attribute, AXValue::ofElements(list));
}

void SimAXElement::setOtherValue(const QString& attribute) {
    QMutexLocker lock(&m_mutex);
    m_attributes.insert(attribute, AXValue::other());
}

void SimAXElement::removeAttribute(const QString& attribute) {
    QList<std::shared_ptr<SimAXElement>> dropped;  // released outside the lock
    QMutexLocker lock(&m_mutex);
    if (attribute == kChildren) {
        dropped.swap(m_children);
        m_childrenSet = false;
    }
    m_attributes.remove(attribute);
}

void SimAXElement::setAttributeError(const QString& attribute, AXError error) {
    QMutexLocker lock(&m_mutex);
    if (error == AXError::Success) {
        m_errors.remove(attribute);
    } else {
        m_errors.insert(attribute, error);
    }
}

QString SimAXElement::role() const {
    QMutexLocker lock(&m_mutex);
    return m_attributes.value(kRole).string;
}

QString SimAXElement::title() const {
    QMutexLocker lock(&m_mutex);
    return m_attributes.value(kTitle).string;
}

QString SimAXElement::description() const {
    QMutexLocker lock(&m_mutex);
    return m_attributes.value(kDescription).string;
}

std::shared_ptr<SimAXElement> SimAXElement::addChild(const std::shared_ptr<SimAXElement>& child) {
    if (child) {
        QMutexLocker lock(&m_mutex);
        m_children.append(child);
        m_childrenSet = true;
    }
    return child;
}

void SimAXElement::setChildren(const QList<std::shared_ptr<SimAXElement>>& children) {
    QList<std::shared_ptr<SimAXElement>> kept;
    kept.reserve(children.size());
    for (const auto& c : children) {
        if (c) {
            kept.append(c);
        }
    }
    QMutexLocker lock(&m_mutex);
    // The old list is released when `kept` goes out of scope, after the lock.
    m_children.swap(kept);
    m_childrenSet = true;
}

QList<std::shared_ptr<SimAXElement>> SimAXElement::children() const {
    QMutexLocker lock(&m_mutex);
    return m_children;
}

void SimAXElement::removeAllChildren() {
    QList<std::shared_ptr<SimAXElement>> dropped;
    QMutexLocker lock(&m_mutex);
    dropped.swap(m_children);
}

AXResult SimAXElement::read(const QString& attribute) const {
    QMutexLocker lock(&m_mutex);
    const auto error = m_errors.constFind(attribute);
    if (error != m_errors.constEnd()) {
        return {error.value(), {}};
    }
    if (attribute == kChildren) {
        if (!m_childrenSet) {
            return {AXError::AttributeUnsupported, {}};
        }
        QList<AXElement> list;
        list.reserve(m_children.size());
        for (const auto& c : m_children) {
            list.append(c);
        }
        return {AXError::Success, AXValue::ofElements(list)};
    }
    const auto found = m_attributes.constFind(attribute);
    if (found == m_attributes.constEnd()) {
        // Like the real service: an attribute the element does not have is "unsupported".
        return {AXError::AttributeUnsupported, {}};
    }
    return {AXError::Success, found.value()};
}

void SimAXElement::setPressHandler(PressHandler handler) {
    QMutexLocker lock(&m_mutex);
    m_onPress = std::move(handler);
}

AXError SimAXElement::press() {
    PressHandler handler;
    {
        QMutexLocker lock(&m_mutex);
        ++m_pressCount;
        handler = m_onPress;
    }
    // Outside the lock: the handler may change this element or its tree.
    if (handler) {
        handler(*this);
    }
    return AXError::Success;
}

int SimAXElement::pressCount() const {
    QMutexLocker lock(&m_mutex);
    return m_pressCount;
}
