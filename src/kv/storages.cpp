// Storages: the GetAuth check, then the cloud-drive rows projected into the
// storage table, and the getters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/members.h"
#include "api/request.h"
#include "api/util.h"
#include "kv/kv.h"

namespace {

// Reverse table of the base64 alphabet, built once per process.
unsigned char rev[256];
int init = 0;

void build_rev() {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::memset(rev, 255, sizeof rev);
    for (int k = 0; k < 64; k++) rev[static_cast<unsigned char>(alphabet[k])] = static_cast<unsigned char>(k);
    init = 1;
}

// Decodes text[0..len) into out; false when a character is not in the
// alphabet or follows a "=". Leftover bits are dropped.
bool decode_base64(const char *text, size_t len, unsigned char *out, size_t *out_len) {
    size_t pos = 0;
    uint32_t acc = 0;
    int bits = 0, pad = 0;
    for (size_t i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '=') {
            pad++;
            continue;
        }
        unsigned char v = rev[c];
        if (v == 255 || pad != 0) return false;
        acc = ((acc << 6) | v) & 0xFFFFFFu;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out[pos++] = static_cast<unsigned char>(acc >> bits);
        }
    }
    *out_len = pos;
    return true;
}

// The members read from a drive object and from its owner's user and quota
// objects, each in one pass over the object.
using namespace mvfiles_members;
enum DriveMember { D_ID, D_TYPE, D_OWNER, D_QUOTA, D_COUNT };
constexpr Name kDriveNames[D_COUNT] = {
    MVFILES_MEMBER("id", "Id"),
    MVFILES_MEMBER("driveType", "DriveType"),
    MVFILES_MEMBER("owner", "Owner"),
    MVFILES_MEMBER("quota", "Quota"),
};
enum UserMember { U_EMAIL, U_NAME, U_COUNT };
constexpr Name kUserNames[U_COUNT] = {
    MVFILES_MEMBER("email", "Email"),
    MVFILES_MEMBER("displayName", "DisplayName"),
};
enum QuotaMember { Q_STATE, Q_TOTAL, Q_USED, Q_REMAINING, Q_COUNT };
constexpr Name kQuotaNames[Q_COUNT] = {
    MVFILES_MEMBER("state", "State"),
    MVFILES_MEMBER("total", "Total"),
    MVFILES_MEMBER("used", "Used"),
    MVFILES_MEMBER("remaining", "Remaining"),
};
static_assert(member_names_ok(kDriveNames) && member_names_ok(kUserNames) &&
                  member_names_ok(kQuotaNames),
              "member name pairs must differ only in case, and no two names of a table"
              " may fold to the same text");
constexpr ByLength kDriveByLen = group_by_length(kDriveNames);
constexpr ByLength kUserByLen = group_by_length(kUserNames);
constexpr ByLength kQuotaByLen = group_by_length(kQuotaNames);

// Kept from answer to answer: drive rows list their members alike.
Layout s_drive_layout, s_user_layout, s_quota_layout;

// Reads one drive object; its texts are copied into the table's arena.
bool project_drive(mvfiles_storage *s, yyjson_val *drive, mvfiles_arena &arena) {
    Found<D_COUNT> d;
    find_members(drive, kDriveNames, kDriveByLen, s_drive_layout, d);
    if (!mvfiles_kv_copy_text(&s->id, d[D_ID], arena) ||
        !mvfiles_kv_copy_text(&s->type, d[D_TYPE], arena))
        return false;
    yyjson_val *owner = d[D_OWNER];
    yyjson_val *user = owner && yyjson_is_obj(owner) ? mvfiles_geti(owner, "user", "User") : nullptr;
    if (user && yyjson_is_obj(user)) {
        Found<U_COUNT> u;
        find_members(user, kUserNames, kUserByLen, s_user_layout, u);
        if (!mvfiles_kv_copy_text(&s->email, u[U_EMAIL], arena) ||
            !mvfiles_kv_copy_text(&s->name, u[U_NAME], arena))
            return false;
    }
    yyjson_val *quota = d[D_QUOTA];
    if (quota && yyjson_is_obj(quota)) {
        Found<Q_COUNT> q;
        find_members(quota, kQuotaNames, kQuotaByLen, s_quota_layout, q);
        if (!mvfiles_kv_copy_text(&s->state, q[Q_STATE], arena)) return false;
        mvfiles_val_i64(q[Q_TOTAL], &s->total);
        mvfiles_val_i64(q[Q_USED], &s->used);
        mvfiles_val_i64(q[Q_REMAINING], &s->remaining);
    }
    s->files_count = 0;
    return true;
}

// GetAuth must answer 200 with base64 text of a JSON document; nothing of
// that document is kept.
mvfiles_result check_getauth() {
    char *url = mvfiles_format_url("%s/api/APIFunction?name=GetAuth", g_sf.host);
    if (!url) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    char *body = nullptr;
    uint64_t len = 0;
    int32_t status = 0;
    char msg[256] = "";
    int32_t rc = mvfiles_http_get(url, nullptr, &body, &len, nullptr, &status, msg, sizeof msg);
    std::free(url);
    if (rc != 0) return mvfiles_transport_failure(msg);
    if (status != 200) {
        std::free(body);
        return mvfiles_fail(status == 404 ? MVFILES_ERR_NOT_FOUND : MVFILES_ERR_HTTP,
                            "storages: GetAuth HTTP %ld (measured 500 on gcp \xE2\x80\x94 fixture-only)",
                            static_cast<long>(status));
    }
    char *text = body ? mvfiles_strndup(body, static_cast<size_t>(len)) : mvfiles_strndup(nullptr, 0);
    std::free(body);
    if (!text) return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    if (!init) build_rev();
    size_t tlen = std::strlen(text);  // the text ends at its first NUL
    while (tlen > 0 && (text[tlen - 1] == '\n' || text[tlen - 1] == '\r' || text[tlen - 1] == ' ')) tlen--;
    auto *decoded = static_cast<unsigned char *>(std::malloc(tlen / 4 * 3 + 3));
    if (!decoded) {
        std::free(text);
        return mvfiles_fail(MVFILES_ERR_OOM, "oom");
    }
    size_t dlen = 0;
    bool ok = decode_base64(text, tlen, decoded, &dlen);
    std::free(text);
    if (!ok) {
        std::free(decoded);
        return mvfiles_fail(MVFILES_ERR_JSON, "storages: GetAuth body is not base64");
    }
    yyjson_read_err err;
    yyjson_doc *doc = yyjson_read_opts(reinterpret_cast<char *>(decoded), dlen, 0, nullptr, &err);
    std::free(decoded);
    if (!doc) {
        if (err.code == YYJSON_READ_ERROR_MEMORY_ALLOCATION) {
            return mvfiles_fail(MVFILES_ERR_OOM, "oom");
        }
        return mvfiles_fail(MVFILES_ERR_JSON, "storages: GetAuth JSON invalid");
    }
    yyjson_doc_free(doc);
    return MVFILES_OK;
}

}  // namespace

void mvfiles_storages_release(mvfiles_storage *table, void *arena) noexcept {
    mvfiles_arena_free(arena);
    std::free(table);
}

int32_t mvfiles_storages_project() noexcept {
    uint64_t n = g_sf.kv_count;
    auto *table = mvfiles_kv_new_table<mvfiles_storage>();
    if (!table) return -1;
    uint64_t filled = 0;
    mvfiles_arena arena;  // every text of the table
    for (uint64_t i = 0; i < n; i++) {
        const char *value = g_sf.kv_rows[i].value;
        if (!value || value[0] != '{') continue;
        yyjson_read_err err;
        yyjson_doc *doc =
            yyjson_read_opts(const_cast<char *>(value), std::strlen(value), 0, nullptr, &err);
        bool ok = true;
        if (!doc) {
            ok = err.code != YYJSON_READ_ERROR_MEMORY_ALLOCATION;
        } else {
            yyjson_val *root = yyjson_doc_get_root(doc);
            if (root && yyjson_is_obj(root)) {
                ok = project_drive(&table[filled], root, arena);
                filled++;
            }
            yyjson_doc_free(doc);
        }
        if (!ok) {
            // A drive whose texts could not all be copied is never reported.
            mvfiles_storages_release(table, arena.head);
            return -1;
        }
    }
    mvfiles_storages_release(g_sf.storages, g_sf.storages_arena);
    g_sf.storages = table;
    g_sf.storages_arena = arena.head;
    g_sf.storage_count = filled;
    return 0;
}

mvfiles_result mvfiles_storages_fetch() noexcept {
    if (mvfiles_result rc = mvfiles_require_transport(MVFILES_NO_TRANSPORT_MSG)) return rc;
    mvfiles_result rc = check_getauth();
    if (rc != MVFILES_OK) return rc;
    rc = mvfiles_kv_fetch("storages", "RVD_ONEDRIVES");
    if (rc != MVFILES_OK) return rc;
    if (mvfiles_storages_project() != 0) return mvfiles_fail(MVFILES_ERR_OOM, "oom: storages");
    mvfiles_set_err("");
    return MVFILES_OK;
}

mvfiles_result mvfiles_get_storages(void) noexcept {
    if (mvfiles_result rc = mvfiles_lookup_prologue()) return rc;
    return mvfiles_storages_fetch();
}

int32_t mvfiles_storage_count(void) noexcept { return static_cast<int32_t>(g_sf.storage_count); }

const char *mvfiles_storage_email(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].email : nullptr;
}

const char *mvfiles_storage_name(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].name : nullptr;
}

const char *mvfiles_storage_id(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].id : nullptr;
}

const char *mvfiles_storage_state(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].state : nullptr;
}

const char *mvfiles_storage_type(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].type : nullptr;
}

int32_t mvfiles_storage_files_count(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].files_count : 0;
}

int64_t mvfiles_storage_total(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].total : 0;
}

int64_t mvfiles_storage_used(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].used : 0;
}

int64_t mvfiles_storage_remaining(int32_t i) noexcept {
    return mvfiles_kv_index_ok(i, g_sf.storage_count) ? g_sf.storages[i].remaining : 0;
}
