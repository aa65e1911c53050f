#include "main/app/account/ControllerAccountHost.h"

#include "main/app/AppController.h"

namespace murmeli::app {

ControllerAccountHost::ControllerAccountHost(AppController& controller) : m_controller(controller) { }

cloud::AccountMirror ControllerAccountHost::mirror() const
{
    return m_controller.cloudAccount().mirror();
}

QString ControllerAccountHost::sessionToken() const
{
    return m_controller.speech().cloudToken();
}

bool ControllerAccountHost::hasStoredSession() const
{
    return m_controller.cloudAccount().hasStoredSession();
}

QCoro::Task<> ControllerAccountHost::refreshMinutes()
{
    return m_controller.cloudAccount().refreshMinutes();
}

QCoro::Task<> ControllerAccountHost::signOut()
{
    return m_controller.cloudAccount().signOut();
}

QCoro::Task<cloud::BillingFlowResult> ControllerAccountHost::startTopUp()
{
    return m_controller.cloudAccount().startTopUp();
}

cloud::CloudAuth ControllerAccountHost::auth() const
{
    return m_controller.cloudAccount().auth();
}

void ControllerAccountHost::attach(cloud::AccountSignInSheetModel& model)
{
    m_controller.cloudAccount().attach(model);
}

cloud::GiftCardClient ControllerAccountHost::giftCardClient() const
{
    return m_controller.cloudAccount().giftCardClient();
}

common::Clock& ControllerAccountHost::clock()
{
    return m_controller.clock();
}

} // namespace murmeli::app
