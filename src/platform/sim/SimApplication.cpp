#include "platform/sim/SimApplication.h"

SimApplication::SimApplication(std::optional<QString> bundleIdentifier, std::optional<QString> localizedName)
    : m_bundleIdentifier(std::move(bundleIdentifier)),
      m_localizedName(std::move(localizedName)),
      m_appElement(SimAXElement::make(QStringLiteral("AXApplication"), m_localizedName.value_or(QString()))) {}

SimApplication::~SimApplication() = default;

void SimApplication::receive(const KeyboardEvent& event) {
    // A long-running session keeps only the most recent events; dropping in halves keeps it cheap.
    if (m_received.size() >= 2 * kReceivedLimit) {
        m_received.remove(0, kReceivedLimit);
    }
    m_received.append(event);
}
