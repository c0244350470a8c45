/* Loads libquorvel-host.so with dlopen, finds engineOpcode by name, and checks the version, an
 * initialise / shutdown cycle and that the log file in the app data folder ends closed ("@").
 * Usage: test_host_load <path of libquorvel-host.so> */
#define _POSIX_C_SOURCE 200809L

#include <dlfcn.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

typedef int32_t (*EngineOpcodeFunction)(int32_t opcode, void* p1, void* p2, int32_t i1, int32_t i2, int32_t i3,
                                        float f);

enum { VERSION = 260, INITIALIZE = 261, SHUTDOWN = 262, SETTINGS_GET = 287, UNKNOWN = 999 };

static int failures = 0;

#define CHECK(condition, ...)                                                                                        \
    do {                                                                                                             \
        if (!(condition)) {                                                                                          \
            fprintf(stderr, "FAILED %s:%d: %s: ", __FILE__, __LINE__, #condition);                                   \
            fprintf(stderr, __VA_ARGS__);                                                                            \
            fputc('\n', stderr);                                                                                     \
            ++failures;                                                                                              \
        }                                                                                                            \
    } while (0)

static int makeFolder(const char* path) { return mkdir(path, 0700) == 0 || errno == EEXIST; }

/* The whole file, NUL-terminated; *size gets its length. Null when it cannot be read. */
static char* readFile(const char* path, long* size) {
    FILE* file = fopen(path, "rb");
    if (!file) return NULL;
    fseek(file, 0, SEEK_END);
    *size = ftell(file);
    rewind(file);
    char* text = malloc((size_t)*size + 1);
    if (text && fread(text, 1, (size_t)*size, file) != (size_t)*size) {
        free(text);
        text = NULL;
    }
    if (text) text[*size] = '\0';
    fclose(file);
    return text;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <libquorvel-host.so>\n", argv[0]);
        return 2;
    }

    char root[] = "/tmp/quorvel_host_test_XXXXXX";
    if (!mkdtemp(root)) {
        perror("mkdtemp");
        return 2;
    }
    char vantor[512], quorvel[512], logPath[600], registry[600];
    snprintf(vantor, sizeof vantor, "%s/Vantor", root);
    snprintf(quorvel, sizeof quorvel, "%s/Vantor/Quorvel", root);
    snprintf(logPath, sizeof logPath, "%s/Quorvel Standalone x64.log", quorvel);
    snprintf(registry, sizeof registry, "%s/registry.txt", root);
    if (!makeFolder(vantor) || !makeFolder(quorvel)) {
        perror("mkdir");
        return 2;
    }
    setenv("XDG_DATA_HOME", root, 1);
    setenv("QUORVEL_REGISTRY_FILE", registry, 1);

    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    EngineOpcodeFunction engineOpcode;
    *(void**)&engineOpcode = dlsym(library, "engineOpcode");
    if (!engineOpcode) {
        fprintf(stderr, "dlsym engineOpcode: %s\n", dlerror());
        return 1;
    }

    char version[32];
    memset(version, 'x', sizeof version);
    CHECK(engineOpcode(VERSION, version, NULL, 0, 0, 0, 0.0f) == 0, "version result");
    CHECK(strcmp(version, "v2.116") == 0, "version text '%.8s'", version);
    CHECK(engineOpcode(VERSION, NULL, NULL, 0, 0, 0, 0.0f) == 1, "null buffer");
    CHECK(engineOpcode(UNKNOWN, NULL, NULL, 0, 0, 0, 0.0f) == 3, "unknown opcode");

    CHECK(engineOpcode(INITIALIZE, NULL, NULL, 0, 0, 0, 0.0f) == 0, "initialise");
    int32_t rate = 0, frames = 0;
    CHECK(engineOpcode(SETTINGS_GET, &rate, &frames, 0, 0, 0, 0.0f) == 0, "settings");
    CHECK(rate == 44100 && frames == 512, "rate %d, block %d", (int)rate, (int)frames);
    CHECK(engineOpcode(SHUTDOWN, NULL, NULL, 0, 0, 0, 0.0f) == 0, "shutdown");

    long size = 0;
    char* log = readFile(logPath, &size);
    CHECK(log != NULL, "log file %s", logPath);
    if (log) {
        CHECK(size > 0 && log[size - 1] == '@', "log ends with '%c'", size > 0 ? log[size - 1] : '?');
        CHECK(strstr(log, ":VE_ENGINE_VERSION\n") != NULL, "version line");
        CHECK(strstr(log, ":VE_ENGINE_INITIALIZE OK\n") != NULL, "initialise line");
        CHECK(strstr(log, ":VE_ENGINE_SHUTDOWN\n") != NULL, "shutdown line");
        free(log);
    }

    /* The library stays loaded: audio back ends it started may keep threads and allocations to the end. */
    remove(logPath);
    rmdir(quorvel);
    rmdir(vantor);
    remove(registry);
    rmdir(root);
    if (failures == 0) printf("host_load: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
