#include "engine/staged_partials.h"

StagedPartials::StagedPartials(PartialDownloads& journal, const std::vector<ManifestRecord>& planned)
    : journal_(&journal) {
    for (const ManifestRecord& r : planned) planned_.emplace(r.remotePath, r);
}

bool StagedPartials::OnStaged(const std::string& remotePath, const std::string& stagedPath) {
    std::lock_guard<std::mutex> hold(lock_);
    auto record = planned_.find(remotePath);
    if (journal_ == nullptr || record == planned_.end()) return false;
    if (!journal_->StartIfNone(record->second, stagedPath)) return false;
    staged_[remotePath] = stagedPath;
    return true;
}

void StagedPartials::OnDropped(const std::string& remotePath) {
    std::lock_guard<std::mutex> hold(lock_);
    auto staged = staged_.find(remotePath);
    if (journal_ == nullptr || staged == staged_.end()) return;
    const ManifestRecord& record = planned_.at(remotePath);
    // Only while the entry is still the staged file: the run's own partial is the run's.
    const PartialDownload* entry = journal_->Find(record);
    if (entry != nullptr && entry->partialPath == staged->second) journal_->Forget(record.name, true);
    staged_.erase(staged);
}

void StagedPartials::ForgetAll() {
    std::lock_guard<std::mutex> hold(lock_);
    if (journal_ == nullptr) return;
    for (const auto& staged : staged_) {
        const ManifestRecord& record = planned_.at(staged.first);
        const PartialDownload* entry = journal_->Find(record);
        if (entry != nullptr && entry->partialPath == staged.second) journal_->Forget(record.name, true);
    }
    staged_.clear();
}

void StagedPartials::Detach() {
    std::lock_guard<std::mutex> hold(lock_);
    journal_ = nullptr;
}
