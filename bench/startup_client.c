/* The least a client can do for two vorlcli runs, the yardstick of bench/startup-compare.sh,
 * which sets vorlcli's start-up cost against it. With no checks and no output it makes the same
 * exchanges as
 *   startup_client ADDRESS USER         `vorlcli -nw ADDRESS USER -user -listAllUser`: connect,
 *                                       challenge, login, list of names;
 *   startup_client ADDRESS USER IMAGE   `vorlcli -nw ADDRESS USER -flash -upload IMAGE`: connect,
 *                                       challenge, login, then the 64 block writes (0x0601) as
 *                                       vorlcli sends them, each with its CRC-32, no validation.
 * The password comes on standard input (first line). */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

static const unsigned char kSignature[8] = {'Z', 'O', 'R', ' ', 'U', 0xAA, 0x5A, 0xA5};

enum { kBlockSize = 65536, kBlockRecord = 10 + kBlockSize, kBlocks = 64 };

/* One request packet: the header, then the payload (at most one flash block record). */
static unsigned char packet[32 + kBlockRecord];

static void sendRequest(int fd, unsigned command, const unsigned char* payload, unsigned length) {
    memset(packet, 0, 32);
    memcpy(packet, kSignature, 8);
    packet[9] = 0x04;
    packet[10] = 0x20;
    packet[26] = 0x01;
    packet[12] = length & 0xFF;
    packet[13] = (length >> 8) & 0xFF;
    packet[14] = (length >> 16) & 0xFF;
    packet[20] = command & 0xFF;
    packet[21] = (command >> 8) & 0xFF;
    unsigned sum = 0;
    for (int i = 0; i < 32; ++i) sum += packet[i];
    packet[11] = (unsigned char)(-sum);
    if (length && payload != packet + 32) memcpy(packet + 32, payload, length);
    const unsigned char* at = packet;
    size_t left = 32 + length;
    while (left > 0) {
        const ssize_t n = write(fd, at, left);
        if (n <= 0) return;
        at += n;
        left -= (size_t)n;
    }
}

static void putBigEndian32(unsigned char* out, unsigned long value) {
    out[0] = (value >> 24) & 0xFF;
    out[1] = (value >> 16) & 0xFF;
    out[2] = (value >> 8) & 0xFF;
    out[3] = value & 0xFF;
}

static void readExactly(int fd, unsigned char* buffer, size_t length) {
    size_t got = 0;
    while (got < length) {
        const ssize_t n = read(fd, buffer + got, length - got);
        if (n <= 0) return;
        got += (size_t)n;
    }
}

/* Reads one response into `payload` (at most 4096 bytes are kept). */
static void readResponse(int fd, unsigned char* payload) {
    unsigned char header[32];
    readExactly(fd, header, 32);
    unsigned length = header[12] | header[13] << 8 | header[14] << 16 | (unsigned)header[15] << 24;
    if (length > 4096) length = 4096;
    readExactly(fd, payload, length);
}

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    char password[256] = {0};
    if (!fgets(password, sizeof password, stdin)) return 2;
    password[strcspn(password, "\r\n")] = '\0';

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_port = htons(6577);
    inet_pton(AF_INET, argv[1], &address.sin_addr);
    if (connect(fd, (struct sockaddr*)&address, sizeof address) != 0) return 33;

    unsigned char payload[4096];
    sendRequest(fd, 0x0001, NULL, 0);
    readResponse(fd, payload);

    unsigned char record[88] = {0};
    strncpy((char*)record, argv[2], 31);
    unsigned char input[264];
    const size_t passwordLength = strlen(password);
    memcpy(input, password, passwordLength);
    memcpy(input + passwordLength, payload, 8);
    unsigned int digestLength = 0;
    EVP_Digest(input, passwordLength + 8, record + 32, &digestLength, EVP_md5(), NULL);
    sendRequest(fd, 0x0002, record, sizeof record);
    readResponse(fd, payload);

    if (argc < 4) {
        sendRequest(fd, 0x0503, NULL, 0);
        readResponse(fd, payload);
        close(fd);
        return 0;
    }
    /* The block record is built in place behind the header: number, CRC-32, two zero bytes,
     * the block's bytes. */
    FILE* image = fopen(argv[3], "rb");
    if (!image) return 14;
    unsigned char* blockRecord = packet + 32;
    for (unsigned block = 0; block < kBlocks; ++block) {
        if (fread(blockRecord + 10, 1, kBlockSize, image) != kBlockSize) break;
        putBigEndian32(blockRecord, block);
        putBigEndian32(blockRecord + 4, crc32(0L, blockRecord + 10, kBlockSize));
        blockRecord[8] = blockRecord[9] = 0;
        sendRequest(fd, 0x0601, blockRecord, kBlockRecord);
        readResponse(fd, payload);
    }
    fclose(image);
    close(fd);
    return 0;
}
