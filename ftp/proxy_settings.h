#pragma once
// Login through an FTP proxy: which scheme, and the proxy's own address and account.

#include <cstdint>
#include <string>

#include "transport/id_exception.h"

// A value that cannot be converted, or an object that cannot be assigned from another class.
class EConvertError : public EIdException {
public:
    using EIdException::EIdException;
};

// An object whose fields can be copied from another object of a compatible class.
class TIdPersistent {
public:
    virtual ~TIdPersistent() = default;
    virtual std::string ClassName() const = 0;
    // The base accepts nothing: raises EConvertError "Cannot assign a %s to a %s".
    virtual void Assign(const TIdPersistent& source);

protected:
    [[noreturn]] void AssignError(const TIdPersistent* source) const;
};

// Stored as ordinals: keep the order.
enum TIdFtpProxyType {
    fpcmNone = 0,
    fpcmUserSite = 1,
    fpcmSite = 2,
    fpcmOpen = 3,
    fpcmUserPass = 4,
    fpcmTransparent = 5,
    fpcmHttpProxyWithFtp = 6
};

class TIdFtpProxySettings : public TIdPersistent {
public:
    std::string Host;
    std::string UserName;
    std::string Password;
    TIdFtpProxyType ProxyType = fpcmNone;
    int32_t Port = 0;

    std::string ClassName() const override { return "TIdFtpProxySettings"; }
    // Copies all five fields from another TIdFtpProxySettings; any other class raises EConvertError.
    void Assign(const TIdPersistent& source) override;
};
