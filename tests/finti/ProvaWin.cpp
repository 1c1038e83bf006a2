/* tests/finti/ProvaWin.cpp - aiuti dei test del lato Win32. */
#include "tests/finti/ProvaWin.h"

#include <regex>
#include <stdio.h>

std::string CartellaEseguibile()
{
    char path[MAX_PATH];
    DWORD lung = GetModuleFileNameA(NULL, path, sizeof path);
    std::string testo(path, lung);
    return testo.substr(0, testo.rfind('\\') + 1);
}

void CreaCartelle(const std::string &cartella)
{
    for (size_t pos = cartella.find('\\', 3); pos != std::string::npos; pos = cartella.find('\\', pos + 1))
        CreateDirectoryA(cartella.substr(0, pos).c_str(), NULL);
    CreateDirectoryA(cartella.c_str(), NULL);
}

void RimuoviAlbero(const std::string &cartella)
{
    WIN32_FIND_DATAA dati;
    HANDLE ricerca = FindFirstFileA((cartella + "\\*").c_str(), &dati);
    if (ricerca != INVALID_HANDLE_VALUE) {
        do {
            std::string nome = dati.cFileName;
            if (nome == "." || nome == "..")
                continue;
            std::string path = cartella + "\\" + nome;
            if (dati.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RimuoviAlbero(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(ricerca, &dati));
        FindClose(ricerca);
    }
    RemoveDirectoryA(cartella.c_str());
}

std::string CartellaNuova(const std::string &nome)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string cartella = std::string(temp) + nome;
    RimuoviAlbero(cartella);
    CreaCartelle(cartella);
    return cartella;
}

std::string LeggiFile(const std::string &path)
{
    std::string contenuto;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == NULL)
        return contenuto;
    char blocco[65536];
    size_t letti = 0;
    while ((letti = fread(blocco, 1, sizeof blocco, file)) > 0)
        contenuto.append(blocco, letti);
    fclose(file);
    return contenuto;
}

bool ScriviFile(const std::string &path, const std::string &contenuto)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == NULL)
        return false;
    bool ok = fwrite(contenuto.data(), 1, contenuto.size(), file) == contenuto.size();
    return fclose(file) == 0 && ok;
}

HANDLE AvviaProcesso(const std::string &rigaComando)
{
    STARTUPINFOA avvio;
    PROCESS_INFORMATION processo;
    std::string riga = rigaComando;

    ZeroMemory(&avvio, sizeof avvio);
    avvio.cb = sizeof avvio;
    if (!CreateProcessA(NULL, &riga[0], NULL, NULL, FALSE, 0, NULL, NULL, &avvio, &processo))
        return NULL;
    CloseHandle(processo.hThread);
    return processo.hProcess;
}

HANDLE AvviaDormiente(const std::string &path)
{
    if (!CopyFileA((CartellaEseguibile() + "dormiente.exe").c_str(), path.c_str(), FALSE))
        return NULL;
    return AvviaProcesso("\"" + path + "\" 60");
}

int EseguiProcesso(const std::string &rigaComando, DWORD attesaMs)
{
    DWORD codice = (DWORD)-1;
    HANDLE processo = AvviaProcesso(rigaComando);

    if (processo == NULL)
        return -1;
    if (WaitForSingleObject(processo, attesaMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(processo, &codice)) {
        TerminateProcess(processo, 1);
        codice = (DWORD)-1;
    }
    CloseHandle(processo);
    return (int)codice;
}

std::string PathDaLinux(const std::string &pathLinux)
{
    std::string path = "Z:" + pathLinux;
    for (char &carattere : path)
        if (carattere == '/')
            carattere = '\\';
    return path;
}

SOCKET ConnettiLoopback(int porta)
{
    SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in indirizzo;
    ZeroMemory(&indirizzo, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    indirizzo.sin_port = htons((u_short)porta);
    if (client != INVALID_SOCKET && connect(client, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0) {
        closesocket(client);
        client = INVALID_SOCKET;
    }
    return client;
}

SOCKET OccupaPorta(int porta)
{
    SOCKET occupante = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in indirizzo;
    ZeroMemory(&indirizzo, sizeof indirizzo);
    indirizzo.sin_family = AF_INET;
    indirizzo.sin_port = htons((u_short)porta);
    if (occupante != INVALID_SOCKET && (bind(occupante, (struct sockaddr *)&indirizzo, sizeof indirizzo) != 0 ||
                                        listen(occupante, 1) != 0)) {
        closesocket(occupante);
        occupante = INVALID_SOCKET;
    }
    return occupante;
}

int PortaProva(int numero)
{
    return 21000 + numero;
}

bool CorrispondeTutto(const std::string &testo, const std::string &espressione)
{
    return std::regex_match(testo, std::regex(espressione));
}

bool ContieneEspressione(const std::string &testo, const std::string &espressione)
{
    return std::regex_search(testo, std::regex(espressione));
}

std::string Letterale(const std::string &testo)
{
    static const std::string speciali = "\\^$.|?*+()[]{}";
    std::string risultato;
    for (char carattere : testo) {
        if (speciali.find(carattere) != std::string::npos)
            risultato += '\\';
        risultato += carattere;
    }
    return risultato;
}

int EseguiConUscita(const std::string &riga, std::string *uscita)
{
    std::string pathUscita = CartellaEseguibile() + "uscita_comandi.txt";
    SECURITY_ATTRIBUTES ereditabile = {sizeof ereditabile, NULL, TRUE};
    HANDLE file = CreateFileA(pathUscita.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &ereditabile, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    STARTUPINFOA avvio;
    PROCESS_INFORMATION processo;
    ZeroMemory(&avvio, sizeof avvio);
    avvio.cb = sizeof avvio;
    avvio.dwFlags = STARTF_USESTDHANDLES;
    avvio.hStdOutput = file;
    avvio.hStdError = file;
    avvio.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string modificabile = riga;
    DWORD codice = (DWORD)-1;
    if (CreateProcessA(NULL, &modificabile[0], NULL, NULL, TRUE, 0, NULL, NULL, &avvio, &processo)) {
        if (WaitForSingleObject(processo.hProcess, 30000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(processo.hProcess, &codice))
            codice = (DWORD)-1;
        CloseHandle(processo.hThread);
        CloseHandle(processo.hProcess);
    }
    CloseHandle(file);
    std::string testo = LeggiFile(pathUscita);
    uscita->clear();
    for (char carattere : testo)
        if (carattere != '\r')
            *uscita += carattere;
    DeleteFileA(pathUscita.c_str());
    return (int)codice;
}
