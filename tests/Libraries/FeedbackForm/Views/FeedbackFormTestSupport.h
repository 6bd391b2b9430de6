#pragma once

#include "Dispatch/DispatchQueue.h"
#include "FeedbackForm/KVBFeedbackSender.h"
#include "FeedbackForm/KVBSystemProfileProvider.h"
#include "FeedbackForm/Views/KVBAlertPresenter.h"
#include "FeedbackForm/Views/KVBFileSelectionManager.h"

#include <QWidget>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tarnwick::testing {

// A sender that keeps every report and answers when the test says, from a worker thread, as the
// real one does.
class HeldSender final : public KVBFeedbackSender {
public:
    void sendFeedbackWithParameters(const KVBFeedbackParameters& parameters,
                                    Completion completion) override {
        std::lock_guard lock(m_mutex);
        m_reports.push_back(parameters);
        m_pending.push_back(std::move(completion));
    }
    unsigned maxAttachmentsCount() const override { return m_count; }
    void setMaxAttachmentsCount(unsigned count) override { m_count = count; }
    unsigned maxAttachmentFileSize() const override { return m_size; }
    void setMaxAttachmentFileSize(unsigned size) override { m_size = size; }

    std::vector<KVBFeedbackParameters> reports() {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    // Completes the oldest waiting send on another thread.
    void answer(std::optional<KVBError> error) {
        Completion completion;
        {
            std::lock_guard lock(m_mutex);
            completion = std::move(m_pending.front());
            m_pending.erase(m_pending.begin());
        }
        DispatchQueue::global()->async([completion, error] { completion(error); });
    }

private:
    std::mutex m_mutex;
    std::vector<KVBFeedbackParameters> m_reports;
    std::vector<Completion> m_pending;
    unsigned m_count = 10;
    unsigned m_size = 20;
};

// A profile provider with fixed texts whose written file is what the test says.
class FixedProfileProvider final : public KVBSystemProfileProvider {
public:
    std::optional<std::filesystem::path> file;
    int writes = 0;

    void gatherSystemProfileData(GatherCompletion completion) override {
        DispatchQueue::global()->async(
            [completion] { completion("Machine Model = Test\n", "", "{\n}"); });
    }
    void writeSystemProfileToFile(WriteCompletion completion) override {
        ++writes;
        DispatchQueue::global()->async([completion, file = file] { completion(file); });
    }
    std::string userDefaultsDomain() const override { return m_domain; }
    void setUserDefaultsDomain(std::string domain) override { m_domain = std::move(domain); }
    std::vector<std::filesystem::path> logURLs() const override { return m_logs; }
    void setLogURLs(std::vector<std::filesystem::path> urls) override { m_logs = std::move(urls); }

private:
    std::string m_domain;
    std::vector<std::filesystem::path> m_logs;
};

// Answers the file chooser with the files the test set.
class ChosenFiles final : public KVBFileSelectionManager {
public:
    std::vector<std::filesystem::path> files;
    int requests = 0;
    void selectFilesWithCallback(Callback callback) override {
        ++requests;
        callback(files);
    }
};

// Records alerts instead of showing them.
class RecordingAlerts final : public KVBAlertPresenter {
public:
    struct Shown {
        bool isSheet;
        QString title;
        QString text;
        bool windowWasVisible;
    };
    std::vector<Shown> shown;

    void presentSheet(const Alert& alert, QWidget* window) override {
        shown.push_back({true, alert.title, alert.text, window && window->isVisible()});
    }
    void runApplicationModal(const Alert& alert) override {
        shown.push_back({false, alert.title, alert.text, false});
    }
};

}  // namespace tarnwick::testing
