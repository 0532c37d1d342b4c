#pragma once

#include <QAtomicInt>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <functional>
#include <mutex>

#include "platform/Accessibility.h"
#include "platform/Workspace.h"

// Pass-through wrappers over the simulated services that count what the code under test asks of them.

class CountingWorkspace final : public Workspace {
public:
    explicit CountingWorkspace(Workspace& inner) : m_inner(inner) {}

    QList<RunningApplication> runningApplications() const override {
        ++listings;
        return m_inner.runningApplications();
    }
    std::optional<RunningApplication> frontmostApplication() const override { return m_inner.frontmostApplication(); }
    bool openURL(const QUrl& url) override { return m_inner.openURL(url); }
    std::optional<QUrl> urlForApplication(const QString& id) const override { return m_inner.urlForApplication(id); }
    bool openApplication(const QUrl& url) override { return m_inner.openApplication(url); }
    void setActivationPolicy(ActivationPolicy policy) override { m_inner.setActivationPolicy(policy); }
    ActivationPolicy activationPolicy() const override { return m_inner.activationPolicy(); }

    mutable int listings = 0;

private:
    Workspace& m_inner;
};

// Counts trust checks, and records which threads read attributes (reads may come from a worker).
class CountingAccessibility final : public Accessibility {
public:
    explicit CountingAccessibility(Accessibility& inner) : m_inner(inner) {}

    bool isProcessTrusted() const override {
        ++trustChecks;
        return m_inner.isProcessTrusted();
    }
    bool isProcessTrustedWithOptions(bool prompt) override { return m_inner.isProcessTrustedWithOptions(prompt); }
    AXElement createApplication(qint32 pid) const override { return m_inner.createApplication(pid); }
    AXResult copyAttributeValue(const AXElement& element, const QString& attribute) const override {
        reads.fetchAndAddRelaxed(1);
        if (QThread::currentThread() != m_mainThread) {
            offMainReads.fetchAndAddRelaxed(1);
            if (onFirstOffMainRead) {
                std::call_once(m_firstOffMain, onFirstOffMainRead);
            }
        }
        return m_inner.copyAttributeValue(element, attribute);
    }
    AXError performAction(const AXElement& element, const QString& action) override {
        return m_inner.performAction(element, action);
    }

    mutable int trustChecks = 0;
    mutable QAtomicInt reads;
    mutable QAtomicInt offMainReads;
    // Runs on the reading thread, once; set before any worker reads.
    std::function<void()> onFirstOffMainRead;

private:
    Accessibility& m_inner;
    QThread* m_mainThread = QThread::currentThread();
    mutable std::once_flag m_firstOffMain;
};
