// The proxy login of a run: asked once however many requests need it, asked again
// only when refused, declined for good, and wiped.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ProxyTestSupport.h"
#include "net/ProxyCredentialStore.h"

namespace {

ProxyCredentialStore& Store() { return ProxyCredentialStore::Instance(); }

}  // namespace

TEST(ProxyCredentialStore, ConcurrentRequestsShareOnePrompt)
{
    std::atomic<int> prompts{0};
    Store().Wipe();
    Store().SetPrompt([&](const std::wstring&, bool, std::wstring& user, std::wstring& password) {
        ++prompts;
        Sleep(200);  // long enough for every thread to be waiting
        user = L"alice";
        password = L"secret";
        return true;
    });
    std::vector<std::thread> threads;
    std::atomic<int> given{0};
    for (int i = 0; i < 5; ++i) {
        threads.emplace_back([&] {
            ProxyCredentialStore::Login login;
            if (Store().Renew(L"proxy:1", 0, 1, login) && login.user == L"alice" && login.password == L"secret") {
                ++given;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(given, 5);

    // A refused login is asked for again once; a request that still holds the older
    // login then takes the new one without asking.
    ProxyCredentialStore::Login first;
    ASSERT_TRUE(Store().Current(first));
    ProxyCredentialStore::Login second, third;
    ASSERT_TRUE(Store().Renew(L"proxy:1", first.generation, 1, second));
    ASSERT_TRUE(Store().Renew(L"proxy:1", first.generation, 1, third));
    EXPECT_EQ(prompts, 2);
    EXPECT_GT(second.generation, first.generation);
    EXPECT_EQ(third.generation, second.generation);
    Store().SetPrompt(nullptr);
    Store().Wipe();
}

TEST(ProxyCredentialStore, ADeclineEndsTheAskingUntilRetryAllowsIt)
{
    int prompts = 0;
    bool answer = false;
    Store().Wipe();
    Store().SetPrompt([&](const std::wstring&, bool, std::wstring& user, std::wstring& password) {
        ++prompts;
        user = L"bob";
        password = L"pw";
        return answer;
    });
    ProxyCredentialStore::Login login;
    EXPECT_FALSE(Store().Renew(L"proxy:1", 0, 1, login));
    EXPECT_TRUE(Store().Declined());
    EXPECT_FALSE(Store().Renew(L"proxy:1", 0, 1, login));
    EXPECT_EQ(prompts, 1);
    EXPECT_TRUE(login.user.empty());

    Store().AllowPromptAgain();
    answer = true;
    EXPECT_TRUE(Store().Renew(L"proxy:1", 0, 1, login));
    EXPECT_EQ(prompts, 2);
    Store().SetPrompt(nullptr);
    Store().Wipe();
    EXPECT_FALSE(Store().Current(login));
    // Nobody to ask: no login, without waiting.
    EXPECT_FALSE(Store().Renew(L"proxy:1", 0, 1, login));
}

TEST(ProxyCredentialStore, WipedTextIsZeroedBeforeItIsLetGo)
{
    std::wstring text = L"secret";
    const wchar_t* storage = text.data();
    size_t length = text.size();
    WipeText(text);
    EXPECT_TRUE(text.empty());
    for (size_t i = 0; i < length; ++i) EXPECT_EQ(storage[i], L'\0');
}
