#pragma once
#include <cstdint>

#include "devicekit/klxpcc/klxp_types.h"

namespace klxp {

// Root of the protocol classes: the result of the last command and the notification slots a
// derived client may override.
class KLXP_API CKlxpObject {
public:
    CKlxpObject();
    CKlxpObject(const CKlxpObject& other);
    CKlxpObject& operator=(const CKlxpObject&) = delete;

    virtual int DoControl(const KlxpCommonHeader* header) = 0;
    virtual void OnSendData(const KlxpTransFile& file);
    virtual void OnReceiveData(const KlxpTransFile& file);
    virtual ~CKlxpObject();
    virtual void DoError();
    virtual void OnRespond();

protected:
    std::uint32_t m_dwResult;
};

}  // namespace klxp
