// The service's two captions in each of the five embedded languages, as UTF-8.
#pragma once

namespace calvera::config {

struct ServiceCaptions {
  const char* language;
  const char* displayName;
  const char* description;
};

inline constexpr ServiceCaptions kServiceCaptions[] = {
    {"english", "Calvera Memory Service",
     "Maintains memory performance by defragmenting used memory and allocating it back to the "
     "computer system."},
    {"french", "Calvera Service Mémoire",
     "Maintenant les performances en défragmentant la mémoire utilisée et la ré-allouer au "
     "système."},
    {"korean", "Calvera 서비스",
     "사용된 RAM을 조각모음하고 시스템에 할당시켜 RAM 성능을 유지합니다."},
    {"prtbrzl", "Serviço de Memória do Calvera",
     "Mantém o desempenho da memória, desfragmentando a memória usada e alocando-a de volta ao "
     "sistema."},
    {"russian", "Calvera Служба Памяти",
     "Поддерживает производительность подсистемы памяти за счет дефрагментации используемой "
     "памяти и выделение его обратно на компьютер."},
};

}  // namespace calvera::config
