#include "net/ProxyCredentialStore.h"

#include <windows.h>

void WipeText(std::wstring& text)
{
    if (!text.empty()) SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t));
    text.clear();
}

ProxyCredentialStore::Login::~Login() { Wipe(); }

ProxyCredentialStore::Login& ProxyCredentialStore::Login::operator=(const Login& other)
{
    if (this != &other) {
        Wipe();
        user = other.user;
        password = other.password;
        generation = other.generation;
        scheme = other.scheme;
    }
    return *this;
}

void ProxyCredentialStore::Login::Wipe()
{
    WipeText(user);
    WipeText(password);
    generation = 0;
    scheme = 0;
}

ProxyCredentialStore& ProxyCredentialStore::Instance()
{
    // Never destroyed: requests of detached threads may still ask at the end.
    static ProxyCredentialStore* store = new ProxyCredentialStore;
    return *store;
}

void ProxyCredentialStore::SetPrompt(Prompt prompt)
{
    std::unique_lock<std::mutex> lock(lock_);
    // A prompt that is showing keeps its function alive until it returns.
    answered_.wait(lock, [this] { return !prompting_; });
    prompt_ = std::move(prompt);
}

bool ProxyCredentialStore::Current(Login& login)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (login_.generation == 0) return false;
    login = login_;
    return true;
}

bool ProxyCredentialStore::Renew(const std::wstring& proxy, unsigned refusedGeneration, unsigned scheme,
                                 Login& login)
{
    std::unique_lock<std::mutex> lock(lock_);
    // Another request's prompt may be on screen: its answer serves this one too.
    answered_.wait(lock, [this] { return !prompting_; });
    if (login_.generation > refusedGeneration) {
        login = login_;
        return true;
    }
    if (declined_ || !prompt_) return false;

    prompting_ = true;
    Prompt prompt = prompt_;
    bool refused = refusedGeneration != 0;
    lock.unlock();
    std::wstring user, password;
    bool given = prompt(proxy, refused, user, password);
    lock.lock();
    prompting_ = false;
    if (given) {
        login_.Wipe();
        login_.user = user;
        login_.password = password;
        login_.generation = ++lastGeneration_;
        login_.scheme = scheme;
        login = login_;
    } else {
        declined_ = true;
    }
    WipeText(user);
    WipeText(password);
    answered_.notify_all();
    return given;
}

bool ProxyCredentialStore::Declined()
{
    std::lock_guard<std::mutex> lock(lock_);
    return declined_;
}

void ProxyCredentialStore::AllowPromptAgain()
{
    std::lock_guard<std::mutex> lock(lock_);
    declined_ = false;
}

void ProxyCredentialStore::Wipe()
{
    std::lock_guard<std::mutex> lock(lock_);
    login_.Wipe();
    declined_ = false;
}
