#include "platform/secrets/libsecret/LibsecretSecretStore.h"

#include <memory>

#include <libsecret/secret.h>

namespace murmeli::platform {

namespace {

constexpr qsizetype maxValueSize = 64 * 1024;
constexpr auto schemaName = "com.murmeli.Secret";

const SecretSchema* murmeliSchema()
{
    // DONT_MATCH_NAME keeps xdg:schema out of searches, so items made by secret-tool (untagged) match as well.
    static const SecretSchema schema = [] {
        SecretSchema s {}; // zeroes libsecret's reserved fields and ends the attribute list
        s.name = schemaName;
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = { "service", SECRET_SCHEMA_ATTRIBUTE_STRING };
        s.attributes[1] = { "account", SECRET_SCHEMA_ATTRIBUTE_STRING };
        return s;
    }();
    return &schema;
}

struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableUnref>;

// Attribute values travel as C strings, so a name with a NUL in it would silently address a different item.
std::optional<Attributes> makeAttributes(const QString& service, const QString& account)
{
    if (service.contains(QChar(0)) || account.contains(QChar(0))) {
        return std::nullopt;
    }
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return table;
}

struct Probe {
    bool finished = false;
    bool answered = false;
};

void onServiceReady(GObject*, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<std::shared_ptr<Probe>> probe(static_cast<std::shared_ptr<Probe>*>(data));
    GError* error = nullptr;
    SecretService* service = secret_service_get_finish(result, &error);
    if (service != nullptr) {
        // The proxy is made even when nobody owns the bus name; only an owner means a service will answer.
        gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(service));
        (*probe)->answered = owner != nullptr;
        g_free(owner);
        g_object_unref(service);
    }
    g_clear_error(&error);
    (*probe)->finished = true;
}

gboolean cancelProbe(gpointer cancellable)
{
    g_cancellable_cancel(G_CANCELLABLE(cancellable));
    return G_SOURCE_REMOVE;
}

gboolean abandonProbe(gpointer abandoned)
{
    *static_cast<bool*>(abandoned) = true;
    return G_SOURCE_REMOVE;
}

// The blocking libsecret calls have no time limit (bus activation, a wedged daemon), so the first contact runs
// asynchronously on a private context with a cancel timer. Should cancelling not end it either, a second timer
// abandons the call; the shared Probe then outlives us for the late callback.
bool probeSecretService()
{
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);

    GCancellable* cancellable = g_cancellable_new();
    const auto probe = std::make_shared<Probe>();
    secret_service_get(SECRET_SERVICE_NONE, cancellable, onServiceReady, new std::shared_ptr<Probe>(probe));

    GSource* cancelTimer = g_timeout_source_new(LibsecretSecretStore::probeTimeoutMs);
    g_source_set_callback(cancelTimer, cancelProbe, cancellable, nullptr);
    g_source_attach(cancelTimer, context);
    bool abandoned = false;
    GSource* abandonTimer = g_timeout_source_new(LibsecretSecretStore::probeTimeoutMs + 1000);
    g_source_set_callback(abandonTimer, abandonProbe, &abandoned, nullptr);
    g_source_attach(abandonTimer, context);

    while (!probe->finished && !abandoned) {
        g_main_context_iteration(context, TRUE);
    }

    g_source_destroy(cancelTimer);
    g_source_unref(cancelTimer);
    g_source_destroy(abandonTimer);
    g_source_unref(abandonTimer);
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);

    if (probe->finished && !probe->answered) {
        // libsecret keeps the ownerless proxy as its shared instance; drop it so nothing reuses it.
        secret_service_disconnect();
    }
    return probe->answered;
}

// A secret-tool item carries exactly {service, account}; ours also carries xdg:schema, so the service's own
// replace-on-store does not see the two as the same item. Delete such a twin once ours is stored, or a lookup could
// return the stale value. Locked items are left alone: lookups prefer unlocked ones, which ours is.
bool removeUntaggedTwins(GHashTable* attributes)
{
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
    if (service == nullptr) {
        g_clear_error(&error);
        return false;
    }
    GList* items = secret_service_search_sync(service, murmeliSchema(), attributes, SECRET_SEARCH_ALL, nullptr, &error);
    g_object_unref(service);
    if (error != nullptr) {
        g_clear_error(&error);
        g_list_free_full(items, g_object_unref);
        return false;
    }
    bool ok = true;
    for (GList* node = items; node != nullptr; node = node->next) {
        auto* item = static_cast<SecretItem*>(node->data);
        if (secret_item_get_locked(item)) {
            continue;
        }
        GHashTable* itemAttributes = secret_item_get_attributes(item);
        const bool untagged = itemAttributes != nullptr && g_hash_table_size(itemAttributes) == 2
            && !g_hash_table_contains(itemAttributes, "xdg:schema");
        if (itemAttributes != nullptr) {
            g_hash_table_unref(itemAttributes);
        }
        if (untagged && !secret_item_delete_sync(item, nullptr, &error)) {
            g_clear_error(&error);
            ok = false;
        }
    }
    g_list_free_full(items, g_object_unref);
    return ok;
}

} // namespace

bool LibsecretSecretStore::isAvailable() const
{
    if (!m_available) {
        // Without an address GLib would try to autolaunch a bus, which can start an X11 helper or block.
        m_available = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && probeSecretService();
    }
    return *m_available;
}

std::optional<QByteArray> LibsecretSecretStore::load(const QString& service, const QString& account) const
{
    const std::optional<Attributes> attributes = makeAttributes(service, account);
    if (!attributes || !isAvailable()) {
        return std::nullopt;
    }
    GError* error = nullptr;
    SecretValue* value = secret_password_lookupv_binary_sync(murmeliSchema(), attributes->get(), nullptr, &error);
    g_clear_error(&error);
    if (value == nullptr) {
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* data = secret_value_get(value, &length);
    std::optional<QByteArray> result;
    if (length <= static_cast<gsize>(maxValueSize)) {
        result = QByteArray(data, static_cast<qsizetype>(length));
    }
    secret_value_unref(value);
    return result;
}

bool LibsecretSecretStore::save(const QString& service, const QString& account, const QByteArray& value)
{
    const std::optional<Attributes> attributes = makeAttributes(service, account);
    if (!attributes || value.size() > maxValueSize || !isAvailable()) {
        return false;
    }
    const QByteArray label = QStringLiteral("murmeli: %1 %2").arg(service, account).toUtf8();
    // text/plain, as secret-tool uses, so that text-only readers of the keyring accept the item.
    SecretValue* secret = secret_value_new(value.constData(), value.size(), "text/plain");
    GError* error = nullptr;
    const gboolean stored = secret_password_storev_binary_sync(
        murmeliSchema(), attributes->get(), SECRET_COLLECTION_DEFAULT, label.constData(), secret, nullptr, &error);
    secret_value_unref(secret);
    g_clear_error(&error);
    if (!stored) {
        return false;
    }
    return removeUntaggedTwins(attributes->get());
}

bool LibsecretSecretStore::remove(const QString& service, const QString& account)
{
    const std::optional<Attributes> attributes = makeAttributes(service, account);
    if (!attributes || !isAvailable()) {
        return false;
    }
    // Clearing removes every matching item and reports false without an error when there was none.
    GError* error = nullptr;
    secret_password_clearv_sync(murmeliSchema(), attributes->get(), nullptr, &error);
    if (error != nullptr) {
        g_clear_error(&error);
        return false;
    }
    return true;
}

QString LibsecretSecretStore::backendName() const
{
    return QStringLiteral("secret-service");
}

} // namespace murmeli::platform
