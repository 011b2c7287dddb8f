# quelvar_idl(<name> <idl file>): runs widl for the header, the interface
# identifiers and the type library; defines <name>_HEADER, <name>_IID_SOURCE and
# <name>_TLB, and an interface library <name> that carries the include folder.
find_program(WIDL i686-w64-mingw32-widl REQUIRED)
set(QUELVAR_IDL_BASE ${PROJECT_SOURCE_DIR}/common/idl)
set(QUELVAR_STDOLE_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)

function(quelvar_idl name idl)
    get_filename_component(base ${idl} NAME_WE)
    get_filename_component(idl_abs ${idl} ABSOLUTE)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/idl)
    file(MAKE_DIRECTORY ${out})
    set(flags -I ${QUELVAR_IDL_BASE} -I ${CMAKE_CURRENT_SOURCE_DIR} -L ${QUELVAR_STDOLE_DIR} --win32)
    add_custom_command(OUTPUT ${out}/${base}.h
        COMMAND ${WIDL} ${flags} -h -o ${out}/${base}.h ${idl_abs}
        DEPENDS ${idl_abs} ${QUELVAR_IDL_BASE}/QuelvarBase.idl VERBATIM)
    add_custom_command(OUTPUT ${out}/${base}_i.c
        COMMAND ${WIDL} ${flags} -u -o ${out}/${base}_i.c ${idl_abs}
        DEPENDS ${idl_abs} ${QUELVAR_IDL_BASE}/QuelvarBase.idl VERBATIM)
    add_custom_command(OUTPUT ${out}/${base}.tlb
        COMMAND ${WIDL} ${flags} -t -o ${out}/${base}.tlb ${idl_abs}
        DEPENDS ${idl_abs} ${QUELVAR_IDL_BASE}/QuelvarBase.idl VERBATIM)
    add_custom_target(${name}_generated DEPENDS ${out}/${base}.h ${out}/${base}_i.c ${out}/${base}.tlb)
    add_library(${name} STATIC ${out}/${base}_i.c ${out}/${base}.h)
    add_dependencies(${name} ${name}_generated)
    target_include_directories(${name} PUBLIC ${out} ${QUELVAR_IDL_BASE})
    set_target_properties(${name} PROPERTIES LINKER_LANGUAGE C)
    set(${name}_HEADER ${out}/${base}.h PARENT_SCOPE)
    set(${name}_TLB ${out}/${base}.tlb PARENT_SCOPE)
endfunction()
