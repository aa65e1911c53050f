#include "main/voice/service/CloudSTTError.h"

namespace murmeli::voice {

QString CloudSTTError::description() const
{
    switch (m_kind) {
    case Kind::AuthError:
        return QStringLiteral("激活失败: ") + m_message;
    case Kind::ServerError:
        return QStringLiteral("服务器错误 (%1)").arg(m_status);
    case Kind::BadURL:
        return QStringLiteral("无效的服务器地址");
    case Kind::NetworkError:
        return QStringLiteral("网络连接失败");
    case Kind::BadResponse:
        return QStringLiteral("服务器响应格式错误");
    case Kind::QuotaExceeded:
        return QStringLiteral("云端时间已用完");
    case Kind::TransportError:
        return m_message;
    case Kind::TimedOut:
        return QStringLiteral("请求超时");
    }
    return {};
}

} // namespace murmeli::voice
