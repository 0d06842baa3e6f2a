#include "ftp/proxy_settings.h"

void TIdPersistent::Assign(const TIdPersistent& source) { AssignError(&source); }

void TIdPersistent::AssignError(const TIdPersistent* source) const {
    const std::string sourceName = source ? source->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

void TIdFtpProxySettings::Assign(const TIdPersistent& source) {
    const auto* other = dynamic_cast<const TIdFtpProxySettings*>(&source);
    if (!other) AssignError(&source);
    Host = other->Host;
    UserName = other->UserName;
    Password = other->Password;
    ProxyType = other->ProxyType;
    Port = other->Port;
}
