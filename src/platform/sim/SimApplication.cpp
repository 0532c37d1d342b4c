#include "platform/sim/SimApplication.h"

SimApplication::SimApplication(std::optional<QString> bundleIdentifier, std::optional<QString> localizedName)
    : m_bundleIdentifier(std::move(bundleIdentifier)),
      m_localizedName(std::move(localizedName)),
      m_appElement(SimAXElement::make(QStringLiteral("AXApplication"), m_localizedName.value_or(QString()))) {}

SimApplication::~SimApplication() = default;

void SimApplication::receive(const KeyboardEvent& event) {
    m_received.append(event);
}
