#pragma once

#include <gtest/gtest.h>

#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <exception>
#include <optional>
#include <type_traits>

#include "services/APIError.h"
#include "services/TransportError.h"

// QCoro 0.8's waitFor() never returns when the awaited task throws (the exception is swallowed
// inside its helper coroutine and the loop is never quit), so these tests wait with their own.

namespace backendtest {

template <typename T>
QCoro::Task<void> settle(QCoro::Task<T>& task, std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>& value,
                         std::exception_ptr& error, bool& done, QEventLoop& loop) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            value = true;
        } else {
            value = co_await task;
        }
    } catch (...) {
        error = std::current_exception();
    }
    done = true;
    loop.quit();
}

}  // namespace backendtest

// Runs the Qt event loop until `task` ends; returns its value or rethrows its exception.
template <typename T>
T waitForTask(QCoro::Task<T> task) {
    QEventLoop loop;
    std::optional<std::conditional_t<std::is_void_v<T>, bool, T>> value;
    std::exception_ptr error;
    bool done = false;
    auto waiter = backendtest::settle(task, value, error, done, loop);
    if (!done) {
        loop.exec();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*value);
    }
}

// Runs a backend task to its end and returns the APIError it threw; a test failure when it
// succeeded or threw something else.
template <typename T>
std::optional<APIError> apiErrorOf(QCoro::Task<T> task) {
    try {
        waitForTask(std::move(task));
        ADD_FAILURE() << "the call succeeded";
    } catch (const APIError& error) {
        return error;
    } catch (const std::exception& error) {
        ADD_FAILURE() << "unexpected error: " << error.what();
    }
    return std::nullopt;
}

template <typename T>
std::optional<TransportError> transportErrorOf(QCoro::Task<T> task) {
    try {
        waitForTask(std::move(task));
        ADD_FAILURE() << "the call succeeded";
    } catch (const TransportError& error) {
        return error;
    } catch (const std::exception& error) {
        ADD_FAILURE() << "unexpected error: " << error.what();
    }
    return std::nullopt;
}
