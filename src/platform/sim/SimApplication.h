#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>

#include "platform/EventServices.h"
#include "platform/sim/SimAXElement.h"

// A running application of the simulated session. It has an application element (role
// "AXApplication") whose attributes ("AXWindows", "AXMenuBar", "AXMainWindow", "AXFocusedWindow")
// tests and subclasses fill, and it records every keyboard event that reaches it.
class SimApplication {
public:
    SimApplication(std::optional<QString> bundleIdentifier, std::optional<QString> localizedName);
    virtual ~SimApplication();

    const std::optional<QString>& bundleIdentifier() const { return m_bundleIdentifier; }
    const std::optional<QString>& localizedName() const { return m_localizedName; }
    qint32 processIdentifier() const { return m_pid; }  // given by the session on launch; -1 before

    std::shared_ptr<SimAXElement> applicationElement() const { return m_appElement; }

    // Called by the session for every event that reaches this application, in order.
    virtual void receive(const KeyboardEvent& event);
    // The most recent events, oldest first (the last kReceivedLimit at least, never more than twice that).
    const QList<KeyboardEvent>& receivedEvents() const { return m_received; }
    static constexpr qsizetype kReceivedLimit = 4096;
    void clearReceivedEvents() { m_received.clear(); }

private:
    friend class SimSession;
    std::optional<QString> m_bundleIdentifier;
    std::optional<QString> m_localizedName;
    qint32 m_pid = -1;
    std::shared_ptr<SimAXElement> m_appElement;
    QList<KeyboardEvent> m_received;
};
