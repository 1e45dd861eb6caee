#include "devicekit/klxpcc/klxp_object.h"

namespace klxp {

CKlxpObject::CKlxpObject() : m_dwResult(0) {}
CKlxpObject::CKlxpObject(const CKlxpObject& other) : m_dwResult(other.m_dwResult) {}
CKlxpObject::~CKlxpObject() = default;

void CKlxpObject::OnSendData(const KlxpTransFile& /*file*/) {}
void CKlxpObject::OnReceiveData(const KlxpTransFile& /*file*/) {}
void CKlxpObject::DoError() {}
void CKlxpObject::OnRespond() {}

}  // namespace klxp
