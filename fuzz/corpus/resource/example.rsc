Listing set-up for the controller sources
/TITLE
Traffic light controller
/FORMAT
3
-120
//KEYWORDS
entity
architecture
process
begin
end
//Standard types
STD_LOGIC
std_logic_vector
integer
//-Libraries
ieee
work
//Conversions
to_*
conv_*int
