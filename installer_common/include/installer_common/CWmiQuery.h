// WMI questions: CWmiQuery initialises COM on the calling thread, connects to a namespace, runs
// "SELECT * FROM <class>" and reads one property of the result; CSystemModel answers whether this
// computer is a given model.
#pragma once

#include "platform/win_wmi.h"

class CWmiQuery {
public:
    static constexpr int kComError = 11;
    static constexpr size_t kValueChars = 256;

    CWmiQuery();
    virtual ~CWmiQuery();
    CWmiQuery(const CWmiQuery&) = delete;
    CWmiQuery& operator=(const CWmiQuery&) = delete;

    // Connects to the namespace; a connection made before, and its result, are released first.
    virtual int Connect(const char16_t* ns);
    virtual int ExecQuery(const char16_t* className);
    // Reads the property of every object of the result; the last one's value stays in `output`, a
    // buffer of 256 wide characters (512 bytes): a text is written into it, a 32-bit number is
    // stored as an int, a byte array is copied (at most 512 bytes). 1 also when the result holds
    // no object (the output is then unchanged).
    virtual int GetProperty(const char16_t* name, void* output);
    virtual void ReleaseEnumerator();

    int GetErrorCode() const { return m_error; }
    const char16_t* GetErrorText() const { return m_errorText; }

protected:
    void SetComError();
    // Releases services and locator and ends this object's use of COM (once).
    void Shutdown();

    win::IWbemLocator* m_locator = nullptr;
    win::IWbemServices* m_services = nullptr;
    win::IEnumWbemClassObject* m_enum = nullptr;
    int m_error = 0;
    char16_t m_errorText[256] = {};
    bool m_comInitialized = false;
};

class CSystemModel : public CWmiQuery {
public:
    CSystemModel();
    // 1 when the computer's model equals `model`, trailing blanks ignored on both, case ignored.
    int IsModel(const char16_t* model);

private:
    char16_t m_value[kValueChars] = {};
};
