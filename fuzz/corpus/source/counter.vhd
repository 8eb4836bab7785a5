-- Free-running counter with synchronous reset and enable.
library ieee;
use ieee.std_logic_1164.all;
use ieee.numeric_std.all;

entity counter is
	generic (
		WIDTH : positive := 8
	);
	port (
		clk    : in  std_logic;
		reset  : in  std_logic;
		enable : in  std_logic;
		count  : out std_logic_vector(WIDTH - 1 downto 0)
	);
end entity counter;

architecture rtl of counter is
	signal value : unsigned(WIDTH - 1 downto 0) := (others => '0');
begin
	tick : process (clk)
	begin
		if rising_edge(clk) then
			if reset = '1' then
				value <= (others => '0');
			elsif enable = '1' then
				value <= value + 1;
			end if;
		end if;
	end process tick;

	count <= std_logic_vector(value);
end architecture rtl;
