#pragma once
// The proxy login of this run: the user name and password that the user gave once,
// used by every request that a proxy asks to log in. Kept in memory only: never
// logged, never written to disk, wiped when replaced and at the end of the run.
//
// Thread contract: every member may be called from any thread. A prompt is shown
// for one request at a time; requests that need a login meanwhile wait for its
// answer and then use it, so concurrent segments cause a single prompt.
//
// Lifetime: a process-wide instance. The prompt function is set by the window that
// can show it and cleared (SetPrompt(nullptr)) before that window goes; it runs on
// the requesting thread and must not call back into the store.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

class ProxyCredentialStore {
public:
    struct Login {
        std::wstring user;
        std::wstring password;
        // 0: no login; each new answer of the user gets the next number.
        unsigned generation = 0;
        // The scheme the proxy asked for when the login was given (WinHTTP's
        // WINHTTP_AUTH_SCHEME_* numbers); 0 when not known.
        unsigned scheme = 0;

        ~Login();
        Login() = default;
        Login(const Login& other) = default;
        Login& operator=(const Login& other);
        void Wipe();
    };

    // Asks the user for a login for the proxy; `refused` tells that the last one
    // was refused. False when the user declines.
    using Prompt = std::function<bool(const std::wstring& proxy, bool refused, std::wstring& user,
                                      std::wstring& password)>;

    static ProxyCredentialStore& Instance();

    void SetPrompt(Prompt prompt);

    // The login given so far, if any.
    bool Current(Login& login);
    // A login newer than `refusedGeneration` (0: the request sent none): one that
    // another request got meanwhile, or the user's answer to a new prompt. False
    // when the user declined, or there is nobody to ask: the request then fails.
    bool Renew(const std::wstring& proxy, unsigned refusedGeneration, unsigned scheme, Login& login);
    // Whether the user declined the prompt in this run; later requests fail at once.
    bool Declined();
    // Lets the next request ask again after a decline (the user chose to retry).
    void AllowPromptAgain();
    // Forgets the login and the decline, wiping the text.
    void Wipe();

private:
    ProxyCredentialStore() = default;

    std::mutex lock_;
    std::condition_variable answered_;
    Prompt prompt_;
    Login login_;
    // Numbers keep growing across Wipe, so a request holding an old login never
    // mistakes a later one for its own.
    unsigned lastGeneration_ = 0;
    bool prompting_ = false;
    bool declined_ = false;
};

// Overwrites the characters before the text is let go.
void WipeText(std::wstring& text);
