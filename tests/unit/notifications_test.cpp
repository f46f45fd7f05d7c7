#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/notifications.h"
#include "tests/support/notification_recorder.h"

namespace {

TEST(PostStatusLine, PostsACopyOfTheTextWithTheLineNumber) {
    NotificationRecorder posts;
    std::wstring text = L"✓  Прибор обнаружен";
    PostStatusLine(2, text);
    text.clear(); // the posted copy is independent of the caller's string
    PostStatusLine(-1, L"x");
    const std::vector<Notification> all = posts.All();
    ASSERT_EQ(2u, all.size());
    EXPECT_EQ(MSG_STATUS_LINE, all[0].code);
    EXPECT_EQ(2u, all[0].wParam);
    EXPECT_EQ(L"✓  Прибор обнаружен", all[0].text);
    EXPECT_EQ(~uintptr_t{0}, all[1].wParam) << "the line number is sign-extended";
}

TEST(PostOperationDone, CarriesTheResultAndText) {
    NotificationRecorder posts;
    PostOperationDone(Cancelled, L"Обновление отменено.");
    EXPECT_EQ(std::vector<std::wstring>{L"done 2: Обновление отменено."}, posts.Descriptions());
}

TEST(PostNotification, ARefusedTextIsFreedByTheSender) {
    NotificationRecorder posts;
    posts.SetRefusing(true);
    // LeakSanitizer fails the run if either payload is lost.
    PostStatusLine(1, L"○  Дата-станция не обнаружена");
    PostOperationDone(Failed, L"Дата-станция потеряна.");
    EXPECT_FALSE(PostNotification(MSG_PROGRESS, 10, 0));
    EXPECT_EQ(0u, posts.All().size());
}

} // namespace
