#include "PlatformKit/GameServices/GameServices.h"

#include <cstdlib>

#include "PlatformKit/Foundation/Clock.h"

namespace pk::games {

GameServices::GameServices(std::optional<std::string> playerName, std::shared_ptr<cloud::CloudDatabase> database,
                           MainQueue& queue)
    : database_(std::move(database)), queue_(queue) {
    if (playerName && !playerName->empty()) player_ = LocalPlayer{*playerName};
}

std::shared_ptr<GameServices> GameServices::fromEnvironment(MainQueue& queue) {
    const char* name = std::getenv(kPlayerEnvironmentVariable);
    std::shared_ptr<cloud::CloudDatabase> db;
    try {
        db = cloud::publicDatabase(queue);
    } catch (const StudioError&) {
        db = nullptr;  // a database no backend serves is no account
    }
    return std::make_shared<GameServices>(name ? std::optional<std::string>(name) : std::nullopt, std::move(db), queue);
}

std::shared_ptr<GameServices> GameServices::shared() {
    static std::shared_ptr<GameServices> instance = fromEnvironment();
    return instance;
}

void GameServices::submitScore(int64_t score, uint64_t context, const std::vector<std::string>& leaderboardIDs,
                               Completion completion) {
    auto finish = [this, completion](std::optional<StudioError> error) {
        if (completion) queue_.post([completion, error = std::move(error)] { completion(error); });
    };
    if (!player_) return finish(StudioError(kErrorDomain, notAuthenticated, "The local player is not signed in."));
    if (!database_) return finish(StudioError(kErrorDomain, noCloudAccount, "No cloud account is configured."));
    if (leaderboardIDs.empty()) return finish(std::nullopt);

    // The completions arrive on the queue's owner one by one; the last one answers.
    struct Pending {
        size_t left;
        std::optional<StudioError> firstError;
    };
    auto pending = std::make_shared<Pending>(Pending{leaderboardIDs.size(), std::nullopt});
    const double now = Clock::system()->wallSeconds();
    for (const auto& id : leaderboardIDs) {
        cloud::CloudRecord record;
        record.recordType = kLeaderboardScoreRecordType;
        record.fields["leaderboardID"] = id;
        record.fields["playerName"] = player_->displayName;
        record.fields["score"] = score;
        record.fields["context"] = static_cast<int64_t>(context);
        record.fields["submittedAt"] = now;
        database_->save(std::move(record), [pending, completion](std::optional<cloud::CloudRecord>,
                                                                 std::optional<StudioError> error) {
            if (error && !pending->firstError) pending->firstError = std::move(error);
            if (--pending->left == 0 && completion) completion(pending->firstError);
        });
    }
}

}  // namespace pk::games
